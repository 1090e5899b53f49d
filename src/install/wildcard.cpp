#include "install/wildcard.h"

namespace install {

namespace {

wchar_t FoldCase(wchar_t c) {
  if (c >= L'a' && c <= L'z') return static_cast<wchar_t>(c - 0x20);
  // Latin-1 lower-case letters à to þ, except the division sign.
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<wchar_t>(c - 0x20);
  return c;
}

}  // namespace

bool MatchesMask(const String& mask, const String& name) {
  if (name.empty()) return false;
  // Greedy scan that returns to the last star on a mismatch; linear in
  // practice, never exponential.
  size_t m = 0;
  size_t n = 0;
  size_t starMask = String::npos;
  size_t starName = 0;
  while (n < name.size()) {
    if (m < mask.size() && mask[m] == L'*') {
      starMask = m++;
      starName = n;
    } else if (m < mask.size() && (mask[m] == L'?' || FoldCase(mask[m]) == FoldCase(name[n]))) {
      ++m;
      ++n;
    } else if (starMask != String::npos) {
      m = starMask + 1;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == L'*') ++m;
  return m == mask.size();
}

}  // namespace install
