#pragma once
// Small helpers for the text of header fields.
#include <string_view>
#include <vector>

namespace http {

bool EqualsIgnoreCase(std::string_view a, std::string_view b);
// Without spaces and tabs at either end.
std::string_view TrimBlanks(std::string_view text);
// The members of a comma-separated list, each trimmed (empty members kept).
std::vector<std::string_view> SplitList(std::string_view list);
// Whether a comma-separated list has the token (letter case does not matter).
bool ListContains(std::string_view list, std::string_view token);

}  // namespace http
