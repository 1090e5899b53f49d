#pragma once
// An http address split into what the connection and the request line need.
#include <cstdint>
#include <string>

#include "framework/text.h"

namespace http {

struct Url {
  std::string host;        // as written in the address, lower case
  uint16_t port = 80;
  std::string target;      // the request target: everything after the host, "/" when empty
  std::string HostHeader() const;  // host, with ":port" unless the port is 80
};

// Splits "http://host[:port][/path]". The target is taken unchanged, apart
// from non-ASCII characters, which become "?" (the request goes out as 7-bit
// ASCII). Raises EIdException for another scheme or a malformed host or port.
Url ParseUrl(const String& address);

// The text as 7-bit ASCII: each non-ASCII character (a surrogate pair counts
// as one) becomes "?".
std::string ToAscii(const String& text);

}  // namespace http
