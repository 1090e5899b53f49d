#pragma once
// Text as the application framework knows it: one wide string type, and the
// conversions to and from UTF-8 for the places that deal in bytes.
#include <string>
#include <string_view>

using String = std::wstring;

// Invalid sequences become U+FFFD; nothing is dropped silently.
String Utf8ToString(std::string_view bytes);
std::string StringToUtf8(const String& text);

// Each byte becomes the character with the same number (ISO-8859-1).
String BytesToString(std::string_view bytes);
