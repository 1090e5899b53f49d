#include <unistd.h>

#include <climits>

#include "framework/headless/session.h"
#include "framework/sysutils.h"

TFormatSettings FormatSettings{UserDecimalSeparator()};

wchar_t UserDecimalSeparator() { return L'.'; }

String ModuleFileName() { return headless::Session::Current().moduleFileName; }

String RawCommandLine() { return headless::Session::Current().commandLine; }

String GetCurrentDir() {
  char buffer[PATH_MAX];
  if (getcwd(buffer, sizeof buffer) == nullptr) return String();
  return Utf8ToString(buffer);
}

bool DeleteFile(const String& fileName) { return unlink(StringToUtf8(fileName).c_str()) == 0; }
