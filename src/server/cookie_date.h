#pragma once
// The date of a cookie's Expires attribute, read by the lenient algorithm
// that browsers use (RFC 6265, section 5.1.1).
#include <cstdint>
#include <optional>
#include <string_view>

namespace http {

// Seconds since 1970-01-01 00:00:00 UTC; nothing when the text is no date.
std::optional<int64_t> ParseCookieDate(std::string_view text);

}  // namespace http
