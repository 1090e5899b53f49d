#pragma once
// Runtime-library helpers: the exception base class, the command line, the
// number reading with the process-wide format settings, and file deletion.
#include <exception>
#include <string>

#include "framework/text.h"

// Base of every failure the program raises; its message is what the error
// report shows.
class Exception : public std::exception {
 public:
  explicit Exception(String message);
  const String& Message() const noexcept { return message_; }
  const char* what() const noexcept override { return utf8_.c_str(); }

 private:
  String message_;
  std::string utf8_;
};

class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// Raised by file streams that cannot be created or written.
class EStreamError : public Exception {
 public:
  using Exception::Exception;
};

// Process-wide format settings, read from the user's regional settings when
// the program starts.
struct TFormatSettings {
  wchar_t DecimalSeparator = L'.';
};
extern TFormatSettings FormatSettings;

// The decimal separator of the user's regional settings; '.' when they cannot
// be read. Platform code.
wchar_t UserDecimalSeparator();

// Item `index` of a raw command line, split by the program's rules (item 0 is
// the program's own path); empty when there is no such item.
String CommandLineItem(const String& commandLine, int index);

// Item `index` of this process's command line. Platform code supplies the raw line.
String ParamStr(int index);
String RawCommandLine();

// Reads the whole text as a decimal number; raises EConvertError when invalid.
long double StrToFloat(const String& text);
long double StrToFloat(const String& text, const TFormatSettings& settings);

// Full path of the running executable, and the current directory.
String ModuleFileName();
String GetCurrentDir();

// Deletes a file; false when it could not be deleted.
bool DeleteFile(const String& fileName);
