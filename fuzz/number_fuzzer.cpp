// Fuzz target: the number reading of version texts (StrToFloat) with the
// decimal separators of the user's regional settings, the full stop, the
// comma or another character.
//
// Input: one byte of flags (bit 0: 16-bit characters; bits 1-2: the
// separator: full stop, comma, or the 16-bit character that follows), then
// the text.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "framework/sysutils.h"
#include "fuzz_input.h"
#include "fuzz_text.h"

namespace {

[[noreturn]] void Broken(const char* what) {
  std::fprintf(stderr, "number: %s\n", what);
  std::abort();
}

std::optional<long double> Read(const String& text, wchar_t separator) {
  try {
    const long double value = StrToFloat(text, TFormatSettings{separator});
    if (!std::isfinite(value)) Broken("a value that is not finite");
    return value;
  } catch (const EConvertError& e) {
    if (e.Message().find(text) == String::npos) Broken("the message lacks the text");
    return std::nullopt;
  }
}

bool Same(const std::optional<long double>& a, const std::optional<long double>& b) {
  if (a.has_value() != b.has_value()) return false;
  return !a || (*a == *b && std::signbit(*a) == std::signbit(*b));
}

// Characters that have a meaning of their own in a number cannot be the separator.
bool CanSeparate(wchar_t c) {
  return !(c >= L'0' && c <= L'9') && c != L'+' && c != L'-' && c != L'e' && c != L'E' && c != L' ';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzing::InputReader in(data, size);
  const uint8_t flags = in.Byte();
  wchar_t separator = L'.';
  if ((flags & 6) == 2) separator = L',';
  if ((flags & 6) == 4) separator = static_cast<wchar_t>(in.Le16());
  if (!CanSeparate(separator)) return 0;
  const String text = fuzzing::TextFromBytes(in.Rest(), (flags & 1) != 0);

  const std::optional<long double> value = Read(text, separator);

  // The same text written with the full stop as separator reads the same.
  String swapped = text;
  for (wchar_t& c : swapped) {
    if (c == separator) c = L'.';
    else if (c == L'.') c = separator;
  }
  if (!Same(Read(swapped, L'.'), value)) Broken("the separator changed the reading");

  // Spaces at the ends do not count.
  if (!Same(Read(L" " + text + L" ", separator), value)) Broken("spaces at the ends changed the reading");

  // A minus sign before an unsigned text negates it.
  const size_t start = text.find_first_not_of(L' ');
  if (start != String::npos && text[start] != L'+' && text[start] != L'-') {
    const String unsigned_text = text.substr(start);
    const std::optional<long double> plain = Read(unsigned_text, separator);
    const std::optional<long double> negated = Read(L"-" + unsigned_text, separator);
    if (!Same(negated, plain ? std::optional<long double>(-*plain) : std::nullopt)) Broken("a minus sign did not negate");
    if (!Same(Read(L"+" + unsigned_text, separator), plain)) Broken("a plus sign changed the reading");
  }
  return 0;
}
