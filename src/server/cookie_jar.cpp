#include "server/cookie_jar.h"

#include <algorithm>
#include <limits>
#include <optional>

#include "server/cookie_date.h"
#include "server/http_tokens.h"

namespace http {

namespace {

constexpr int64_t kLatest = std::numeric_limits<int64_t>::max();
constexpr int64_t kEarliest = std::numeric_limits<int64_t>::min();

std::string Lowered(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool IsIpv4Address(std::string_view host) {
  int parts = 0;
  size_t digits = 0;
  for (char c : host) {
    if (c == '.') {
      if (digits == 0) return false;
      ++parts;
      digits = 0;
    } else if (c >= '0' && c <= '9') {
      if (++digits > 3) return false;
    } else {
      return false;
    }
  }
  return digits > 0 && parts == 3;
}

// Whether the text can go back in a Cookie header unchanged: requests go out
// as 7-bit ASCII, and a control character other than the tab would break the
// header line (RFC 6265bis ignores such cookies).
bool IsSendable(std::string_view text) {
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte < 0x20 && byte != '\t') || byte >= 0x7F) return false;
  }
  return true;
}

// Max-Age: an optional minus and digits; nothing when it is not that shape.
std::optional<int64_t> ParseMaxAge(std::string_view text) {
  if (text.empty()) return std::nullopt;
  const bool negative = text.front() == '-';
  if (negative) text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    if (value < kLatest / 20) value = value * 10 + (c - '0');  // large values saturate
  }
  return negative ? -value : value;
}

struct Attributes {
  std::optional<int64_t> expires;
  std::optional<int64_t> maxAge;
  std::optional<std::string> domain;
  std::optional<std::string> path;
  bool secure = false;
  bool httpOnly = false;
};

Attributes ParseAttributes(std::string_view rest) {
  Attributes a;
  while (!rest.empty()) {
    rest.remove_prefix(1);  // the ';'
    const size_t next = rest.find(';');
    const std::string_view av = rest.substr(0, next);
    rest = next == std::string_view::npos ? std::string_view{} : rest.substr(next);
    const size_t equals = av.find('=');
    const std::string_view name = TrimBlanks(av.substr(0, equals));
    const std::string_view value = equals == std::string_view::npos ? std::string_view{} : TrimBlanks(av.substr(equals + 1));
    if (EqualsIgnoreCase(name, "expires")) {
      if (auto date = ParseCookieDate(value)) a.expires = *date;
    } else if (EqualsIgnoreCase(name, "max-age")) {
      if (auto delta = ParseMaxAge(value)) a.maxAge = *delta;
    } else if (EqualsIgnoreCase(name, "domain")) {
      if (!value.empty()) {
        std::string_view d = value;
        if (d.front() == '.') d.remove_prefix(1);
        a.domain = Lowered(d);
      }
    } else if (EqualsIgnoreCase(name, "path")) {
      a.path = value.empty() || value.front() != '/' ? std::optional<std::string>{} : std::string(value);
    } else if (EqualsIgnoreCase(name, "secure")) {
      a.secure = true;
    } else if (EqualsIgnoreCase(name, "httponly")) {
      a.httpOnly = true;
    }
  }
  return a;
}

}  // namespace

std::string_view RequestPath(std::string_view target) {
  return target.substr(0, target.find_first_of("?#"));
}

bool DomainMatches(std::string_view host, std::string_view domain) {
  if (host == domain) return true;
  if (domain.empty() || host.size() <= domain.size()) return false;
  return host.substr(host.size() - domain.size()) == domain && host[host.size() - domain.size() - 1] == '.' &&
         !IsIpv4Address(host);
}

bool PathMatches(std::string_view requestPath, std::string_view cookiePath) {
  if (requestPath == cookiePath) return true;
  if (requestPath.substr(0, cookiePath.size()) != cookiePath) return false;
  return (!cookiePath.empty() && cookiePath.back() == '/') || requestPath[cookiePath.size()] == '/';
}

std::string DefaultPath(std::string_view requestPath) {
  if (requestPath.empty() || requestPath.front() != '/') return "/";
  const size_t last = requestPath.rfind('/');
  if (last == 0) return "/";
  return std::string(requestPath.substr(0, last));
}

void CookieJar::Store(std::string_view setCookie, std::string_view host, std::string_view target, int64_t now) {
  const size_t semicolon = setCookie.find(';');
  const std::string_view pair = setCookie.substr(0, semicolon);
  const size_t equals = pair.find('=');
  if (equals == std::string_view::npos) return;
  const std::string_view name = TrimBlanks(pair.substr(0, equals));
  const std::string_view value = TrimBlanks(pair.substr(equals + 1));
  if (name.empty() || name.size() + value.size() > kMaxCookieSize) return;
  if (!IsSendable(name) || !IsSendable(value)) return;
  const Attributes a = ParseAttributes(semicolon == std::string_view::npos ? std::string_view{} : setCookie.substr(semicolon));

  Cookie cookie;
  cookie.name = std::string(name);
  cookie.value = std::string(value);
  cookie.creation = cookie.lastAccess = now;
  cookie.order = nextOrder_++;
  if (a.maxAge) {
    cookie.persistent = true;
    if (*a.maxAge <= 0) cookie.expiry = kEarliest;
    else cookie.expiry = now > kLatest - *a.maxAge ? kLatest : now + *a.maxAge;
  } else if (a.expires) {
    cookie.persistent = true;
    cookie.expiry = *a.expires;
  } else {
    cookie.expiry = kLatest;
  }
  const std::string requestHost = Lowered(host);
  if (a.domain && !a.domain->empty()) {
    if (!DomainMatches(requestHost, *a.domain)) return;
    cookie.hostOnly = false;
    cookie.domain = *a.domain;
  } else {
    cookie.domain = requestHost;
  }
  cookie.path = a.path ? *a.path : DefaultPath(RequestPath(target));
  cookie.secureOnly = a.secure;
  cookie.httpOnly = a.httpOnly;

  auto old = std::find_if(cookies_.begin(), cookies_.end(), [&](const Cookie& c) {
    return c.name == cookie.name && c.domain == cookie.domain && c.path == cookie.path;
  });
  if (old != cookies_.end()) {
    cookie.creation = old->creation;
    cookie.order = old->order;
    cookies_.erase(old);
  }
  cookies_.push_back(std::move(cookie));
  EvictExpired(now);
  if (cookies_.size() > kMaxCookies) {
    auto leastRecent = std::min_element(cookies_.begin(), cookies_.end(), [](const Cookie& x, const Cookie& y) {
      return x.lastAccess != y.lastAccess ? x.lastAccess < y.lastAccess : x.order < y.order;
    });
    cookies_.erase(leastRecent);
  }
}

std::string CookieJar::HeaderFor(std::string_view host, std::string_view target, int64_t now) {
  EvictExpired(now);
  const std::string requestHost = Lowered(host);
  const std::string_view path = RequestPath(target);
  std::vector<Cookie*> matching;
  for (Cookie& c : cookies_) {
    const bool domainOk = c.hostOnly ? requestHost == c.domain : DomainMatches(requestHost, c.domain);
    // Requests go over plain HTTP, so a cookie meant for secure channels never goes out.
    if (domainOk && PathMatches(path, c.path) && !c.secureOnly) matching.push_back(&c);
  }
  std::stable_sort(matching.begin(), matching.end(), [](const Cookie* x, const Cookie* y) {
    if (x->path.size() != y->path.size()) return x->path.size() > y->path.size();
    return x->creation != y->creation ? x->creation < y->creation : x->order < y->order;
  });
  std::string header;
  for (Cookie* c : matching) {
    c->lastAccess = now;
    if (!header.empty()) header += "; ";
    header += c->name + "=" + c->value;
  }
  return header;
}

void CookieJar::EvictExpired(int64_t now) {
  std::erase_if(cookies_, [now](const Cookie& c) { return c.expiry <= now; });
}

}  // namespace http
