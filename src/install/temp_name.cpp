#include "install/temp_name.h"

#include <cstdint>
#include <random>

namespace install {

namespace {

wchar_t AsciiLower(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c; }

bool SameNameNoCase(const String& a, const String& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

}  // namespace

String RandomTemporaryName(const String& avoidName) {
  std::random_device device;
  for (;;) {
    const uint64_t value = (static_cast<uint64_t>(device()) << 32) ^ device();
    String name = L"~qx";
    for (int shift = 60; shift >= 0; shift -= 4) name.push_back(L"0123456789abcdef"[(value >> shift) & 0xF]);
    name += L".tmp";
    if (!SameNameNoCase(name, avoidName)) return name;
  }
}

}  // namespace install
