#include "server/http_tokens.h"

namespace http {

namespace {
char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
}  // namespace

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

std::vector<std::string_view> SplitList(std::string_view list) {
  std::vector<std::string_view> members;
  for (;;) {
    const size_t comma = list.find(',');
    members.push_back(TrimBlanks(list.substr(0, comma)));
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
  return members;
}

bool ListContains(std::string_view list, std::string_view token) {
  for (std::string_view member : SplitList(list)) {
    if (EqualsIgnoreCase(member, token)) return true;
  }
  return false;
}

}  // namespace http
