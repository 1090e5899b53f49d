#include "server/cookie_date.h"

#include <array>
#include <string>

namespace http {

namespace {

bool IsDelimiter(unsigned char c) {
  return c == 0x09 || (c >= 0x20 && c <= 0x2F) || (c >= 0x3B && c <= 0x40) || (c >= 0x5B && c <= 0x60) ||
         (c >= 0x7B && c <= 0x7E);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads 1 to maxDigits digits at pos; the digits must not go on beyond that.
bool ReadNumber(std::string_view token, size_t& pos, size_t minDigits, size_t maxDigits, int& value) {
  size_t n = 0;
  value = 0;
  while (pos < token.size() && IsDigit(token[pos]) && n < maxDigits) {
    value = value * 10 + (token[pos] - '0');
    ++pos;
    ++n;
  }
  if (n < minDigits) return false;
  return pos == token.size() || !IsDigit(token[pos]);
}

// 1*2DIGIT [ non-digit *OCTET ]
bool MatchNumber(std::string_view token, size_t minDigits, size_t maxDigits, int& value) {
  size_t pos = 0;
  return ReadNumber(token, pos, minDigits, maxDigits, value);
}

// hms-time [ non-digit *OCTET ]
bool MatchTime(std::string_view token, int& hour, int& minute, int& second) {
  size_t pos = 0;
  if (!ReadNumber(token, pos, 1, 2, hour) || pos >= token.size() || token[pos] != ':') return false;
  ++pos;
  if (!ReadNumber(token, pos, 1, 2, minute) || pos >= token.size() || token[pos] != ':') return false;
  ++pos;
  return ReadNumber(token, pos, 1, 2, second);
}

bool MatchMonth(std::string_view token, int& month) {
  static constexpr std::array<const char*, 12> kMonths = {"jan", "feb", "mar", "apr", "may", "jun",
                                                          "jul", "aug", "sep", "oct", "nov", "dec"};
  if (token.size() < 3) return false;
  std::string first(token.substr(0, 3));
  for (char& c : first) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  for (size_t i = 0; i < kMonths.size(); ++i) {
    if (first == kMonths[i]) {
      month = static_cast<int>(i) + 1;
      return true;
    }
  }
  return false;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

// Days from 1970-01-01 to the given civil date (proleptic Gregorian calendar).
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2 ? 1 : 0;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

}  // namespace

std::optional<int64_t> ParseCookieDate(std::string_view text) {
  bool foundTime = false, foundDay = false, foundMonth = false, foundYear = false;
  int hour = 0, minute = 0, second = 0, day = 0, month = 0, year = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    while (pos < text.size() && IsDelimiter(static_cast<unsigned char>(text[pos]))) ++pos;
    const size_t start = pos;
    while (pos < text.size() && !IsDelimiter(static_cast<unsigned char>(text[pos]))) ++pos;
    if (pos == start) break;
    const std::string_view token = text.substr(start, pos - start);
    int h, mi, s, v;
    if (!foundTime && MatchTime(token, h, mi, s)) {
      foundTime = true, hour = h, minute = mi, second = s;
    } else if (!foundDay && MatchNumber(token, 1, 2, v)) {
      foundDay = true, day = v;
    } else if (!foundMonth && MatchMonth(token, v)) {
      foundMonth = true, month = v;
    } else if (!foundYear && MatchNumber(token, 2, 4, v)) {
      foundYear = true, year = v;
    }
  }
  if (!foundTime || !foundDay || !foundMonth || !foundYear) return std::nullopt;
  if (year >= 70 && year <= 99) year += 1900;
  if (year >= 0 && year <= 69) year += 2000;
  if (day < 1 || day > 31 || year < 1601 || hour > 23 || minute > 59 || second > 59) return std::nullopt;
  if (day > DaysInMonth(year, month)) return std::nullopt;
  return DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
}

}  // namespace http
