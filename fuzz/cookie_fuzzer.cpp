// Fuzz target: the Set-Cookie fields of the update host's responses and the
// cookie dates in them, through the cookie jar of one run.
//
// Input: one byte of flags, the starting time (8 bytes), then lines. The
// first line is the request host, the second the request target; each
// further line is a command by its first byte:
//   H<host>   the Cookie header for a request to that host (the target as above)
//   T<bytes>  the clock moves on by the bytes read as a number of seconds
//   D<text>   a cookie date alone
//   anything else: the whole line as one Set-Cookie field

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <set>
#include <string>
#include <string_view>
#include <tuple>

#include "fuzz_input.h"
#include "server/cookie_date.h"
#include "server/cookie_jar.h"

namespace {

[[noreturn]] void Broken(const char* what) {
  std::fprintf(stderr, "cookie: %s\n", what);
  std::abort();
}

std::string_view NextLine(std::string_view& rest) {
  const size_t end = rest.find('\n');
  const std::string_view line = rest.substr(0, end);
  rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
  return line;
}

// A date that was read is written the way servers write it and read again.
void CheckCookieDate(std::string_view text) {
  const std::optional<int64_t> seconds = http::ParseCookieDate(text);
  if (!seconds) return;
  const time_t t = static_cast<time_t>(*seconds);
  struct tm civil {};
  if (gmtime_r(&t, &civil) == nullptr) Broken("a date that was read has no calendar date");
  char written[64];
  std::strftime(written, sizeof written, "%a, %d %b %Y %H:%M:%S GMT", &civil);
  const std::optional<int64_t> again = http::ParseCookieDate(written);
  if (!again || *again != *seconds) Broken("a date does not read back as the same time");
}

void CheckJar(const http::CookieJar& jar) {
  if (jar.Cookies().size() > http::CookieJar::kMaxCookies) Broken("more cookies than the jar may hold");
  std::set<std::tuple<std::string, std::string, std::string>> keys;
  for (const http::Cookie& c : jar.Cookies()) {
    if (c.name.empty()) Broken("cookie without a name");
    if (c.name.size() + c.value.size() > http::CookieJar::kMaxCookieSize) Broken("oversized cookie kept");
    for (char ch : c.domain) {
      if (ch >= 'A' && ch <= 'Z') Broken("domain not in lower case");
    }
    if (c.path.empty() || c.path.front() != '/') Broken("cookie path not absolute");
    if (!keys.emplace(c.name, c.domain, c.path).second) Broken("two cookies of the same name, domain and path");
  }
}

int64_t Later(int64_t now, uint64_t seconds) {
  constexpr int64_t kLatest = std::numeric_limits<int64_t>::max();
  const int64_t step = static_cast<int64_t>(seconds >> 1);
  return now > kLatest - step ? kLatest : now + step;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzing::InputReader in(data, size);
  const uint8_t flags = in.Byte();
  // Around the present unless asked otherwise, so that expiry dates matter.
  int64_t now = (flags & 1) ? static_cast<int64_t>(in.Le64()) : 1700000000 + static_cast<int64_t>(in.Le32());
  std::string_view rest = in.Rest();
  const std::string host(NextLine(rest));
  const std::string target(NextLine(rest));

  http::CookieJar jar;
  while (!rest.empty()) {
    const std::string_view line = NextLine(rest);
    const char command = line.empty() ? '\0' : line.front();
    if (command == 'H') {
      const std::string requestHost(line.substr(1));
      const std::string header = jar.HeaderFor(requestHost, target, now);
      if (jar.HeaderFor(requestHost, target, now) != header) Broken("the Cookie header changed by being asked for");
      // The header goes out in a request of 7-bit ASCII lines.
      for (char c : header) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && byte != '\t') || byte >= 0x7F) Broken("a Cookie header that cannot go out as it is");
      }
      for (const http::Cookie& c : jar.Cookies()) {
        if (c.expiry <= now) Broken("an expired cookie kept after a request");
      }
    } else if (command == 'T') {
      uint64_t seconds = 0;
      for (char c : line.substr(1, 8)) seconds = (seconds << 8) | static_cast<unsigned char>(c);
      now = Later(now, seconds);
    } else if (command == 'D') {
      CheckCookieDate(line.substr(1));
    } else {
      jar.Store(line, host, target, now);
      const size_t expires = line.find("xpires=");
      if (expires != std::string_view::npos) CheckCookieDate(line.substr(expires + 7, line.find(';', expires) - expires - 7));
    }
    CheckJar(jar);
  }
  (void)jar.HeaderFor(host, target, now);
  CheckJar(jar);
  return 0;
}
