#include "framework/sysutils.h"
#include "framework/win32/win32_api.h"

wchar_t UserDecimalSeparator() {
  wchar_t buffer[8] = {};
  if (::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, buffer, 8) > 1 && buffer[0] != L'\0') return buffer[0];
  return L'.';
}

// Read once, when the program starts.
TFormatSettings FormatSettings{UserDecimalSeparator()};

String ModuleFileName() {
  String path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

String RawCommandLine() {
  const wchar_t* line = ::GetCommandLineW();
  return line != nullptr ? String(line) : String();
}

String GetCurrentDir() {
  const DWORD n = ::GetCurrentDirectoryW(0, nullptr);
  if (n == 0) return String();
  String dir(n, L'\0');
  const DWORD written = ::GetCurrentDirectoryW(n, dir.data());
  dir.resize(written);
  return dir;
}

bool DeleteFile(const String& fileName) { return ::DeleteFileW(fileName.c_str()) != FALSE; }
