#include "server/idhttp.h"

#include <chrono>

#include "server/http_request.h"
#include "server/socket_errors.h"
#include "server/text_decoding.h"
#include "server/url.h"

namespace {

// Bytes taken off the connection at a time: the body passes through this
// buffer on its way to the target, so memory does not grow with the body.
constexpr size_t kReceiveBufferSize = 256 * 1024;

int64_t SecondsNow() {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

class StreamSink : public http::BodySink {
 public:
  explicit StreamSink(TStream& target) : target_(target) {}
  void OnBody(const char* data, size_t size) override { target_.WriteBuffer(data, size); }

 private:
  TStream& target_;
};

// Collects a body in memory up to a limit; beyond it either fails or drops
// the rest.
class BoundedSink : public http::BodySink {
 public:
  BoundedSink(size_t limit, bool failBeyond) : limit_(limit), failBeyond_(failBeyond) {}
  void OnBody(const char* data, size_t size) override {
    const size_t room = limit_ - bytes_.size();
    if (size > room && failBeyond_) throw EIdException(L"Die Antwort des Update-Servers ist zu groß.");
    bytes_.append(data, size < room ? size : room);
  }
  const std::string& Bytes() const { return bytes_; }

 private:
  size_t limit_;
  bool failBeyond_;
  std::string bytes_;
};

// A reused connection that the update host has dropped meanwhile.
bool IsConnectionDropped(const EIdSocketError& error) {
  const int number = error.LastError();
  return number == socket_errors::kConnectionReset || number == socket_errors::kConnectionAborted ||
         number == socket_errors::kNetworkReset || number == socket_errors::kShutDown ||
         number == socket_errors::kNotConnected;
}

}  // namespace

TIdHTTP::TIdHTTP() : buffer_(new char[kReceiveBufferSize]) {}

TIdHTTP::~TIdHTTP() { Disconnect(); }

void TIdHTTP::Disconnect() noexcept {
  connection_.reset();
  keepAlive_ = false;
}

String TIdHTTP::Get(const String& url) {
  BoundedSink body(kMaxTextBody, true);
  Perform(url, body);
  return http::DecodeBody(body.Bytes(), response_.Find("Content-Type"));
}

void TIdHTTP::Get(const String& url, TStream& target) {
  StreamSink body(target);
  Perform(url, body);
}

void TIdHTTP::Reconnect(const std::string& host, uint16_t port) {
  Disconnect();
  connection_.emplace(net::Connection::Open(host, port, ConnectTimeoutMs));
  connectedHost_ = host;
  connectedPort_ = port;
}

void TIdHTTP::Perform(const String& url, http::BodySink& successSink) {
  const http::Url address = http::ParseUrl(url);
  const bool reusable = connection_ && keepAlive_ && connectedHost_ == address.host &&
                        connectedPort_ == address.port && connection_->StillUsable();
  if (!reusable) Reconnect(address.host, address.port);
  // The update host may close an idle connection just as we send on it; a
  // reused connection that ends before the first byte of the answer is
  // opened again and the request sent once more (a GET can be repeated).
  if (Exchange(address, successSink, reusable)) return;
  Reconnect(address.host, address.port);
  Exchange(address, successSink, false);
}

bool TIdHTTP::Exchange(const http::Url& address, http::BodySink& successSink, bool retryIfSilent) {
  keepAlive_ = false;  // until a complete response allows it again

  http::RequestSettings settings;
  settings.accept = http::ToAscii(Request.Accept);
  settings.userAgent = http::ToAscii(Request.UserAgent);
  settings.protocolVersion = ProtocolVersion == pv1_1 ? "1.1" : "1.0";
  if (AllowCookies) settings.cookie = cookies_.HeaderFor(address.host, address.target, SecondsNow());
  const std::string request = http::BuildGetRequest(address, settings);

  response_ = http::ResponseHead{};
  http::ResponseParser parser;
  BoundedSink failureBody(kMaxErrorBody, false);
  http::BodySink* sink = nullptr;
  bool success = false;
  bool strayBytes = false;

  // Where the body goes is decided once the head is in.
  auto headArrived = [&] {
    response_ = parser.Head();
    if (AllowCookies) {
      const int64_t now = SecondsNow();
      for (std::string_view value : response_.FindAll("Set-Cookie")) {
        cookies_.Store(value, address.host, address.target, now);
      }
    }
    success = response_.statusCode >= 200 && response_.statusCode <= 299;
    sink = success ? &successSink : &failureBody;
  };
  auto failure = [&] {
    return EIdHTTPProtocolException(BytesToString(response_.statusLine), response_.statusCode,
                                    http::DecodeBody(failureBody.Bytes(), response_.Find("Content-Type")));
  };

  bool answered = false;
  try {
    connection_->SendAll(request.data(), request.size(), ReadTimeoutMs);
    char* buffer = buffer_.get();
    while (parser.phase() != http::ResponseParser::Phase::kComplete) {
      const size_t received = connection_->Receive(buffer, kReceiveBufferSize, ReadTimeoutMs);
      if (received == 0) {
        if (!answered && retryIfSilent) {
          Disconnect();
          return false;
        }
        parser.FeedEnd();
        break;
      }
      answered = true;
      size_t offset = 0;
      while (offset < received && parser.phase() != http::ResponseParser::Phase::kComplete) {
        const bool inHead = parser.phase() == http::ResponseParser::Phase::kHead;
        offset += parser.Feed(buffer + offset, received - offset, sink);
        if (inHead && parser.phase() != http::ResponseParser::Phase::kHead) headArrived();
      }
      // Bytes beyond the response: the connection is out of step, do not reuse it.
      if (offset < received) strayBytes = true;
    }
  } catch (const EIdSocketError& error) {
    Disconnect();
    if (!answered && retryIfSilent && IsConnectionDropped(error)) return false;
    throw;
  } catch (const EIdException&) {
    Disconnect();
    // A failure answer that breaks off is still reported as that answer.
    if (sink != nullptr && !success) throw failure();
    throw;
  } catch (...) {
    Disconnect();
    throw;
  }

  keepAlive_ = parser.KeepAlive() && !strayBytes;
  if (!keepAlive_) Disconnect();
  if (!success) throw failure();
  return true;
}
