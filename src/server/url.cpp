#include "server/url.h"

#include "server/exceptions.h"

namespace http {

namespace {

[[noreturn]] void RaiseInvalidAddress(const String& address) {
  throw EIdException(L"Ungültige Adresse: " + address);
}

bool IsHostChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

}  // namespace

std::string ToAscii(const String& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<uint32_t>(text[i]);
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
      continue;
    }
    out.push_back('?');
    const bool highSurrogate = c >= 0xD800 && c <= 0xDBFF;
    if (highSurrogate && i + 1 < text.size()) {
      const auto next = static_cast<uint32_t>(text[i + 1]);
      if (next >= 0xDC00 && next <= 0xDFFF) ++i;
    }
  }
  return out;
}

std::string Url::HostHeader() const {
  return port == 80 ? host : host + ":" + std::to_string(port);
}

Url ParseUrl(const String& address) {
  const std::string ascii = ToAscii(address);
  constexpr std::string_view kScheme = "http://";
  if (ascii.size() < kScheme.size()) RaiseInvalidAddress(address);
  for (size_t i = 0; i < kScheme.size(); ++i) {
    char c = ascii[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kScheme[i]) RaiseInvalidAddress(address);
  }
  const size_t authorityStart = kScheme.size();
  size_t authorityEnd = ascii.find('/', authorityStart);
  if (authorityEnd == std::string::npos) authorityEnd = ascii.size();
  std::string authority = ascii.substr(authorityStart, authorityEnd - authorityStart);

  Url url;
  const size_t colon = authority.find(':');
  url.host = authority.substr(0, colon);
  for (char& c : url.host) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (!IsHostChar(c)) RaiseInvalidAddress(address);
  }
  if (url.host.empty()) RaiseInvalidAddress(address);
  if (colon != std::string::npos) {
    const std::string port = authority.substr(colon + 1);
    if (port.empty() || port.size() > 5) RaiseInvalidAddress(address);
    unsigned value = 0;
    for (char c : port) {
      if (c < '0' || c > '9') RaiseInvalidAddress(address);
      value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value == 0 || value > 65535) RaiseInvalidAddress(address);
    url.port = static_cast<uint16_t>(value);
  }
  url.target = authorityEnd < ascii.size() ? ascii.substr(authorityEnd) : "/";
  return url;
}

}  // namespace http
