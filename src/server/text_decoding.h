#pragma once
// Turns the bytes of a text body into text by the charset its Content-Type
// names.
#include <string_view>

#include "framework/text.h"

namespace http {

// UTF-8, ISO-8859-1, US-ASCII and windows-1252 (with their usual aliases) are
// known. A text type without a charset is ISO-8859-1; without a Content-Type,
// for other types and for unknown charsets each byte becomes the character of
// the same number. Nothing is trimmed: a byte-order mark stays in the text.
String DecodeBody(std::string_view body, const std::string* contentType);

}  // namespace http
