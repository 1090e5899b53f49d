#include "install/entry_names.h"

#include <array>

#include "install/oem_code_page.h"
#include "install/zip_records.h"

namespace install {

namespace {

wchar_t AsciiUpper(wchar_t c) { return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - 32) : c; }

bool EqualsAsciiNoCase(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  }
  return true;
}

// Windows opens these devices whatever directory and extension the name has.
bool IsReservedDeviceName(const String& component) {
  std::wstring_view base(component);
  base = base.substr(0, base.find(L'.'));
  while (!base.empty() && base.back() == L' ') base.remove_suffix(1);
  static constexpr std::array<std::wstring_view, 6> kFixed = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
  for (const auto name : kFixed) {
    if (EqualsAsciiNoCase(base, name)) return true;
  }
  if (base.size() == 4 && base[3] >= L'1' && base[3] <= L'9') {
    const auto prefix = base.substr(0, 3);
    return EqualsAsciiNoCase(prefix, L"COM") || EqualsAsciiNoCase(prefix, L"LPT");
  }
  return false;
}

bool OnlyDotsAndSpaces(const String& component) {
  return component.find_first_not_of(L". ") == String::npos;
}

}  // namespace

bool IsValidUtf8(std::string_view bytes) {
  size_t i = 0;
  while (i < bytes.size()) {
    const auto b0 = static_cast<uint8_t>(bytes[i]);
    size_t extra = 0;
    uint32_t cp = 0;
    uint32_t min = 0;
    if (b0 < 0x80) {
      ++i;
      continue;
    } else if ((b0 & 0xE0) == 0xC0) {
      extra = 1, cp = b0 & 0x1Fu, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
      extra = 2, cp = b0 & 0x0Fu, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
      extra = 3, cp = b0 & 0x07u, min = 0x10000;
    } else {
      return false;
    }
    if (bytes.size() - i <= extra) return false;
    for (size_t k = 1; k <= extra; ++k) {
      const auto b = static_cast<uint8_t>(bytes[i + k]);
      if ((b & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (b & 0x3Fu);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += extra + 1;
  }
  return true;
}

String DecodeEntryName(std::string_view bytes, uint16_t flags) {
  bytes = bytes.substr(0, bytes.find('\0'));
  if ((flags & zip::kFlagUtf8Name) != 0 || IsValidUtf8(bytes)) return Utf8ToString(bytes);
  return OemCodePageToString(bytes);
}

String TargetFileName(const String& entryName) {
  const size_t cut = entryName.find_last_of(L"/\\:");
  String component = cut == String::npos ? entryName : entryName.substr(cut + 1);
  if (OnlyDotsAndSpaces(component) || IsReservedDeviceName(component)) return String();
  return component;
}

}  // namespace install
