// The name matching of the process sweep, shared by every platform.
#include "install/host_application.h"

#include <string_view>

namespace {

// Only a to z are folded: the sweep must not call two names equal that the
// host application's installation could tell apart, whatever the locale.
wchar_t ComparisonForm(wchar_t c) {
  return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}

bool EqualInComparisonForm(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (ComparisonForm(a[i]) != ComparisonForm(b[i])) return false;
  }
  return true;
}

std::wstring_view FileNamePart(std::wstring_view path) {
  const size_t separator = path.find_last_of(L"\\:");
  return separator == std::wstring_view::npos ? path : path.substr(separator + 1);
}

}  // namespace

bool ExeNameMatches(const String& exeFile, const String& nameToMatch) {
  std::wstring_view name(exeFile);
  name = name.substr(0, name.find(L'\0'));
  return EqualInComparisonForm(FileNamePart(name), nameToMatch) ||
         EqualInComparisonForm(name, nameToMatch);
}
