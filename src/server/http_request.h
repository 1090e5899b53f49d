#pragma once
// The bytes of a GET request as the HTTP client sends them.
#include <string>

#include "server/url.h"

namespace http {

struct RequestSettings {
  std::string accept;
  std::string userAgent;
  std::string protocolVersion;  // "1.1"
  std::string cookie;           // the Cookie header's value; none when empty
};

// Request line, Host, Accept, Accept-Encoding: identity, User-Agent and, when
// there is one, Cookie; each line ended by CR LF, then an empty line.
std::string BuildGetRequest(const Url& url, const RequestSettings& settings);

}  // namespace http
