#include "framework/headless/session.h"

#include <algorithm>

namespace headless {
namespace {

Session* current = nullptr;

std::string Escaped(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else out.push_back(c);
  }
  return out;
}

}  // namespace

Session::Session() { current = this; }

Session::~Session() {
  if (current == this) current = nullptr;
}

Session& Session::Current() {
  // Code that runs outside a test's session (library tests) gets a quiet default.
  if (current != nullptr) return *current;
  static Session fallback;
  return fallback;
}

void Session::Record(std::string kind, String text, std::string detail) {
  events_.push_back(Event{nowMs_, std::move(kind), std::move(text), std::move(detail)});
}

std::vector<std::string> Session::Timeline() const {
  std::vector<std::string> lines;
  for (const auto& e : events_) {
    std::string line = std::to_string(e.atMs) + " " + e.kind;
    if (!e.detail.empty()) line += " " + e.detail;
    if (!e.text.empty()) line += ": " + StringToUtf8(e.text);
    lines.push_back(Escaped(line));
  }
  return lines;
}

std::vector<std::string> Session::TimelineOf(const std::vector<std::string>& kinds) const {
  std::vector<std::string> all = Timeline();
  std::vector<std::string> lines;
  for (size_t i = 0; i < events_.size(); ++i) {
    if (std::find(kinds.begin(), kinds.end(), events_[i].kind) != kinds.end()) lines.push_back(all[i]);
  }
  return lines;
}

}  // namespace headless
