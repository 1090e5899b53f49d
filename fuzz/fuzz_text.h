#pragma once
// Text from fuzzer bytes: one character per byte (quotes, blanks and digits
// come easily then), or little-endian 16-bit code units as a Windows command
// line or a wide text holds them.
#include <string_view>

#include "framework/text.h"

namespace fuzzing {

inline String TextFromBytes(std::string_view bytes, bool wide) {
  String text;
  if (!wide) {
    for (char c : bytes) text.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
    return text;
  }
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    text.push_back(static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) |
                                        (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  }
  return text;
}

}  // namespace fuzzing
