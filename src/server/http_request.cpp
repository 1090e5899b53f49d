#include "server/http_request.h"

namespace http {

std::string BuildGetRequest(const Url& url, const RequestSettings& settings) {
  std::string request;
  request.reserve(256 + url.target.size() + settings.cookie.size());
  request += "GET " + url.target + " HTTP/" + settings.protocolVersion + "\r\n";
  request += "Host: " + url.HostHeader() + "\r\n";
  request += "Accept: " + settings.accept + "\r\n";
  request += "Accept-Encoding: identity\r\n";
  request += "User-Agent: " + settings.userAgent + "\r\n";
  if (!settings.cookie.empty()) request += "Cookie: " + settings.cookie + "\r\n";
  request += "\r\n";
  return request;
}

}  // namespace http
