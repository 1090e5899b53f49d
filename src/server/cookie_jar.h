#pragma once
// The cookies of one run, held in memory only: what Set-Cookie fields of the
// update host's responses set, and what goes back with later requests
// (RFC 6265: parsing, domain and path matching, expiry).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace http {

struct Cookie {
  std::string name;
  std::string value;
  std::string domain;  // lower case, without a leading dot
  std::string path;
  int64_t expiry = 0;  // seconds since the epoch; the latest time for a session cookie
  int64_t creation = 0;
  int64_t lastAccess = 0;
  uint64_t order = 0;  // breaks ties of equal creation times
  bool persistent = false;
  bool hostOnly = true;
  bool secureOnly = false;
  bool httpOnly = false;
};

class CookieJar {
 public:
  // Beyond this the least recently used cookie is dropped.
  static constexpr size_t kMaxCookies = 300;
  // Name and value together; longer cookies are ignored.
  static constexpr size_t kMaxCookieSize = 4096;

  // One Set-Cookie field of a response to a request for host and target
  // (the request target; its query does not count as path). Times are
  // seconds since the epoch. A cookie that is already expired, as with
  // Max-Age=0, removes the stored one of the same name, domain and path. A
  // cookie whose name or value has a control character (the tab aside) or a
  // byte beyond 7-bit ASCII is ignored.
  void Store(std::string_view setCookie, std::string_view host, std::string_view target, int64_t now);

  // The value of the Cookie header for a request over plain HTTP; empty when
  // no cookie matches.
  std::string HeaderFor(std::string_view host, std::string_view target, int64_t now);

  const std::vector<Cookie>& Cookies() const { return cookies_; }

 private:
  void EvictExpired(int64_t now);

  std::vector<Cookie> cookies_;
  uint64_t nextOrder_ = 0;
};

// The path part of a request target: without query and fragment.
std::string_view RequestPath(std::string_view target);
bool DomainMatches(std::string_view host, std::string_view domain);
bool PathMatches(std::string_view requestPath, std::string_view cookiePath);
std::string DefaultPath(std::string_view requestPath);

}  // namespace http
