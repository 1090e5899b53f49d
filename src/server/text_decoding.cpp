#include "server/text_decoding.h"

#include <string>

#include "server/http_tokens.h"

namespace http {

namespace {

enum class Charset { kBytes, kUtf8, kAscii, kWindows1252 };

// The characters of windows-1252 at 0x80..0x9F; the five unassigned bytes
// keep their own number.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

std::string Lowered(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

Charset CharsetByName(std::string_view name) {
  const std::string n = Lowered(name);
  if (n == "utf-8" || n == "utf8" || n == "unicode-1-1-utf-8") return Charset::kUtf8;
  if (n == "us-ascii" || n == "ascii" || n == "ansi_x3.4-1968" || n == "iso646-us" || n == "us" ||
      n == "cp367" || n == "ibm367")
    return Charset::kAscii;
  if (n == "windows-1252" || n == "cp1252" || n == "x-cp1252") return Charset::kWindows1252;
  // ISO-8859-1 and every charset not known here: one character per byte.
  return Charset::kBytes;
}

// The charset parameter of a Content-Type value, unquoted; empty when absent.
bool FindCharset(std::string_view value, std::string& charset) {
  size_t semicolon = value.find(';');
  while (semicolon != std::string_view::npos) {
    value.remove_prefix(semicolon + 1);
    semicolon = value.find(';');
    std::string_view parameter = TrimBlanks(value.substr(0, semicolon));
    const size_t equals = parameter.find('=');
    if (equals == std::string_view::npos) continue;
    if (!EqualsIgnoreCase(TrimBlanks(parameter.substr(0, equals)), "charset")) continue;
    std::string_view v = TrimBlanks(parameter.substr(equals + 1));
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
    charset = std::string(v);
    return true;
  }
  return false;
}

}  // namespace

String DecodeBody(std::string_view body, const std::string* contentType) {
  Charset charset = Charset::kBytes;
  std::string name;
  if (contentType != nullptr && FindCharset(*contentType, name)) charset = CharsetByName(name);
  // A text type without a charset is ISO-8859-1, which is one character per byte too.
  switch (charset) {
    case Charset::kUtf8:
      return Utf8ToString(body);
    case Charset::kBytes:
      return BytesToString(body);
    case Charset::kAscii: {
      String text;
      text.reserve(body.size());
      for (char c : body) {
        const auto b = static_cast<unsigned char>(c);
        text.push_back(b < 0x80 ? static_cast<wchar_t>(b) : L'\xFFFD');
      }
      return text;
    }
    case Charset::kWindows1252: {
      String text;
      text.reserve(body.size());
      for (char c : body) {
        const auto b = static_cast<unsigned char>(c);
        text.push_back(b >= 0x80 && b < 0xA0 ? static_cast<wchar_t>(kWindows1252High[b - 0x80])
                                             : static_cast<wchar_t>(b));
      }
      return text;
    }
  }
  return BytesToString(body);
}

}  // namespace http
