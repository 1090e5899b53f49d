#pragma once
// The HTTP client of the update server access, in the shape of the platform
// component the status window carries as IdHTTP1: its settings as members,
// Get for a text and Get into a stream. One connection is kept open between
// requests while the update host allows it, and the cookies of the run are
// sent back with later requests.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "framework/classes.h"
#include "framework/text.h"
#include "server/cookie_jar.h"
#include "server/exceptions.h"
#include "server/http_response_parser.h"
#include "server/socket.h"
#include "server/url.h"

enum THTTPOption { hoInProcessAuth, hoKeepOrigProtocol, hoForceEncodeParams };
using THTTPOptions = std::set<THTTPOption>;

enum TIdHTTPProtocolVersion { pv1_0, pv1_1 };

// What the request says about itself. The updater sends no credentials, no
// body and asks for no ranges, so those settings are fixed.
struct TIdHTTPRequest {
  String Accept = L"text/html, */*";
  String UserAgent = L"Mozilla/3.0 (compatible; Indy Library)";
  static constexpr bool BasicAuthentication = false;
  static constexpr int64_t ContentLength = -1;
  static constexpr int64_t ContentRangeStart = -1;
  static constexpr int64_t ContentRangeEnd = -1;
  static constexpr int64_t ContentRangeInstanceLength = -1;
  struct TIdEntityRanges {
    static constexpr std::wstring_view Units = L"bytes";
    static constexpr size_t Count = 0;
  };
  static constexpr TIdEntityRanges Ranges{};
};

// No proxy: the client always connects to the update host itself.
struct TIdProxyConnectionInfo {
  static constexpr std::wstring_view ProxyServer = L"";
  static constexpr int ProxyPort = 0;
  static constexpr bool BasicAuthentication = false;
};

class TIdHTTP {
 public:
  TIdHTTP();
  ~TIdHTTP();  // closes the connection
  TIdHTTP(const TIdHTTP&) = delete;
  TIdHTTP& operator=(const TIdHTTP&) = delete;

  bool AllowCookies = true;
  THTTPOptions HTTPOptions{hoForceEncodeParams};  // concerns only form fields of POST requests
  TIdHTTPRequest Request;
  TIdProxyConnectionInfo ProxyParams;
  static constexpr TIdHTTPProtocolVersion ProtocolVersion = pv1_1;
  static constexpr bool HandleRedirects = false;  // a redirect is a failure

  // Time limits of our own: for the connection to be made, and for the
  // update host to send the next byte. Running into one is socket error
  // 10060. Changed only by tests.
  int ConnectTimeoutMs = 30'000;
  int ReadTimeoutMs = 60'000;

  // The body of a successful response as text, decoded by the charset of its
  // Content-Type. Raises EIdHTTPProtocolException for every status outside
  // 200..299, EIdSocketError, EIdConnClosedGracefully, and EIdException for a
  // malformed response.
  String Get(const String& url);
  // The body of a successful response written into target as it arrives;
  // the body of a failure never reaches it.
  void Get(const String& url, TStream& target);

  void Disconnect() noexcept;
  bool Connected() const { return connection_.has_value(); }
  // The head of the last response; empty before the first.
  const http::ResponseHead& Response() const { return response_; }
  const http::CookieJar& Cookies() const { return cookies_; }

  // The largest text Get(url) returns, and the most of a failure's body kept.
  static constexpr size_t kMaxTextBody = 16u << 20;
  static constexpr size_t kMaxErrorBody = 1u << 20;

 private:
  void Perform(const String& url, http::BodySink& successSink);
  // One request and its answer on the open connection. With retryIfSilent,
  // a connection that ends before any byte of the answer gives false.
  bool Exchange(const http::Url& address, http::BodySink& successSink, bool retryIfSilent);
  void Reconnect(const std::string& host, uint16_t port);

  std::optional<net::Connection> connection_;
  std::string connectedHost_;
  uint16_t connectedPort_ = 0;
  bool keepAlive_ = false;
  http::ResponseHead response_;
  http::CookieJar cookies_;
  std::unique_ptr<char[]> buffer_;
};
