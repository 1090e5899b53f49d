#include "framework/sysutils.h"

#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

static_assert(LDBL_MANT_DIG == 64, "versions are read with extended precision (64-bit significand)");

Exception::Exception(String message) : message_(std::move(message)), utf8_(StringToUtf8(message_)) {}

namespace {

bool IsSeparator(wchar_t c) {
  const auto code = static_cast<uint32_t>(c);
  return code >= 1 && code <= 32;
}

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

[[noreturn]] void RaiseInvalidFloat(const String& text) {
  throw EConvertError(L"'" + text + L"' ist kein gültiger Gleitkommawert");
}

}  // namespace

String CommandLineItem(const String& commandLine, int index) {
  const size_t n = commandLine.find(L'\0') == String::npos ? commandLine.size() : commandLine.find(L'\0');
  size_t p = 0;
  for (int item = 0;; ++item) {
    // Separators, and empty quoted arguments with the separators after them.
    for (;;) {
      while (p < n && IsSeparator(commandLine[p])) ++p;
      if (p + 1 < n && commandLine[p] == L'"' && commandLine[p + 1] == L'"') {
        p += 2;
      } else {
        break;
      }
    }
    if (p >= n) return String();
    String text;
    while (p < n && !IsSeparator(commandLine[p])) {
      if (commandLine[p] == L'"') {
        ++p;
        while (p < n && commandLine[p] != L'"') text.push_back(commandLine[p++]);
        if (p < n) ++p;
      } else {
        text.push_back(commandLine[p++]);
      }
    }
    if (item == index) return text;
  }
}

String ParamStr(int index) {
  if (index == 0) return ModuleFileName();
  return CommandLineItem(RawCommandLine(), index);
}

long double StrToFloat(const String& text) { return StrToFloat(text, FormatSettings); }

long double StrToFloat(const String& text, const TFormatSettings& settings) {
  const size_t n = text.size();
  size_t i = 0;
  while (i < n && text[i] == L' ') ++i;
  std::string number;
  if (i < n && (text[i] == L'+' || text[i] == L'-')) {
    if (text[i] == L'-') number.push_back('-');
    ++i;
  }
  number.push_back('0');  // so that a text such as ".5" or "." reads as a number
  bool separatorSeen = false;
  bool mantissaSeen = false;
  for (; i < n; ++i) {
    if (IsDigit(text[i])) {
      number.push_back(static_cast<char>(text[i]));
    } else if (text[i] == settings.DecimalSeparator && !separatorSeen) {
      separatorSeen = true;
      number.push_back('.');
    } else {
      break;
    }
    mantissaSeen = true;
  }
  if (!mantissaSeen) RaiseInvalidFloat(text);
  if (number.back() == '.') number.push_back('0');

  if (i < n && (text[i] == L'E' || text[i] == L'e')) {
    ++i;
    bool negative = false;
    if (i < n && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
    // Saturates far beyond the extended range; the value then overflows or
    // underflows as the exponent says.
    long exponent = 0;
    for (; i < n && IsDigit(text[i]); ++i) {
      if (exponent < 1000000) exponent = exponent * 10 + (text[i] - L'0');
    }
    number.push_back('e');
    number.append(std::to_string(negative ? -exponent : exponent));
  }
  while (i < n && text[i] == L' ') ++i;
  if (i != n) RaiseInvalidFloat(text);

  errno = 0;
  char* end = nullptr;
  const long double value = std::strtold(number.c_str(), &end);
  if (end != number.c_str() + number.size() || std::isinf(value) || std::isnan(value)) {
    RaiseInvalidFloat(text);
  }
  return value;
}
