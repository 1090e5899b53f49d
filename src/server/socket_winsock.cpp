// The connection over Windows Sockets. Each connection holds one reference
// to the Winsock library (WSAStartup/WSACleanup count their calls).
#include "framework/win32/win32_api.h"

#include <memory>
#include <string>
#include <utility>

#include "server/exceptions.h"
#include "server/socket.h"
#include "server/socket_errors.h"

namespace net {

namespace {

// One reference to the Winsock library for as long as it lives.
class WinsockUse {
 public:
  WinsockUse() {
    WSADATA data;
    const int r = ::WSAStartup(MAKEWORD(2, 2), &data);
    if (r != 0) throw EIdSocketError(r);
  }
  ~WinsockUse() {
    if (active_) ::WSACleanup();
  }
  WinsockUse(const WinsockUse&) = delete;
  WinsockUse& operator=(const WinsockUse&) = delete;
  // The reference now belongs to a connection, which gives it back on close.
  void Keep() { active_ = false; }

 private:
  bool active_ = true;
};

class SocketOwner {
 public:
  explicit SocketOwner(SOCKET s) : s_(s) {}
  ~SocketOwner() {
    if (s_ != INVALID_SOCKET) ::closesocket(s_);
  }
  SocketOwner(const SocketOwner&) = delete;
  SocketOwner& operator=(const SocketOwner&) = delete;
  SOCKET get() const { return s_; }
  SOCKET release() { return std::exchange(s_, INVALID_SOCKET); }

 private:
  SOCKET s_;
};

struct AddrInfoFree {
  void operator()(addrinfo* list) const { ::freeaddrinfo(list); }
};

enum class Wait { kRead, kWrite, kConnect };

// Waits for the socket; false when the time limit ran out. For kConnect a
// failed connection also ends the wait.
bool WaitFor(SOCKET s, Wait what, int timeoutMs) {
  fd_set readable, writable, failed;
  FD_ZERO(&readable);
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  if (what == Wait::kRead) FD_SET(s, &readable);
  if (what != Wait::kRead) FD_SET(s, &writable);
  if (what == Wait::kConnect) FD_SET(s, &failed);
  timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  const int r = ::select(0, &readable, &writable, &failed, timeoutMs < 0 ? nullptr : &limit);
  if (r == SOCKET_ERROR) throw EIdSocketError(::WSAGetLastError());
  return r > 0;
}

SOCKET ConnectTo(const addrinfo& address, int timeoutMs, int& error) {
  SocketOwner s(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  if (s.get() == INVALID_SOCKET) {
    error = ::WSAGetLastError();
    return INVALID_SOCKET;
  }
  u_long nonBlocking = 1;
  // FIONBIO is an unsigned bit pattern; the function takes it as a long.
  if (::ioctlsocket(s.get(), static_cast<long>(FIONBIO), &nonBlocking) != 0) {
    error = ::WSAGetLastError();
    return INVALID_SOCKET;
  }
  if (::connect(s.get(), address.ai_addr, static_cast<int>(address.ai_addrlen)) != 0) {
    const int e = ::WSAGetLastError();
    if (e != WSAEWOULDBLOCK && e != WSAEINPROGRESS) {
      error = e;
      return INVALID_SOCKET;
    }
    if (!WaitFor(s.get(), Wait::kConnect, timeoutMs)) {
      error = WSAETIMEDOUT;
      return INVALID_SOCKET;
    }
    int soError = 0;
    int len = sizeof soError;
    if (::getsockopt(s.get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &len) != 0) {
      soError = ::WSAGetLastError();
    }
    if (soError != 0) {
      error = soError;
      return INVALID_SOCKET;
    }
  }
  return s.release();
}

}  // namespace

Connection Connection::Open(const std::string& host, uint16_t port, int timeoutMs) {
  WinsockUse winsock;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  const int r = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
  if (r != 0) throw EIdSocketError(r);
  std::unique_ptr<addrinfo, AddrInfoFree> list(found);

  int error = WSAECONNREFUSED;
  for (const addrinfo* a = list.get(); a != nullptr; a = a->ai_next) {
    const SOCKET s = ConnectTo(*a, timeoutMs, error);
    if (s != INVALID_SOCKET) {
      winsock.Keep();
      return Connection(static_cast<intptr_t>(s));
    }
  }
  throw EIdSocketError(error);
}

Connection::Connection(Connection&& other) noexcept : handle_(std::exchange(other.handle_, kNone)) {}

Connection& Connection::operator=(Connection&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, kNone);
  }
  return *this;
}

Connection::~Connection() { Close(); }

void Connection::Close() noexcept {
  if (handle_ == kNone) return;
  ::closesocket(static_cast<SOCKET>(std::exchange(handle_, kNone)));
  ::WSACleanup();
}

void Connection::SendAll(const char* data, size_t size, int timeoutMs) {
  const auto s = static_cast<SOCKET>(handle_);
  while (size > 0) {
    const int chunk = size > 1u << 30 ? 1 << 30 : static_cast<int>(size);
    const int n = ::send(s, data, chunk, 0);
    if (n > 0) {
      data += n;
      size -= static_cast<size_t>(n);
      continue;
    }
    const int e = n == 0 ? WSAECONNRESET : ::WSAGetLastError();
    if (e != WSAEWOULDBLOCK) throw EIdSocketError(e);
    if (!WaitFor(s, Wait::kWrite, timeoutMs)) throw EIdSocketError(socket_errors::kTimedOut);
  }
}

size_t Connection::Receive(char* buffer, size_t capacity, int timeoutMs) {
  const auto s = static_cast<SOCKET>(handle_);
  const int chunk = capacity > 1u << 30 ? 1 << 30 : static_cast<int>(capacity);
  for (;;) {
    const int n = ::recv(s, buffer, chunk, 0);
    if (n >= 0) return static_cast<size_t>(n);
    const int e = ::WSAGetLastError();
    if (e != WSAEWOULDBLOCK) throw EIdSocketError(e);
    if (!WaitFor(s, Wait::kRead, timeoutMs)) throw EIdSocketError(socket_errors::kTimedOut);
  }
}

bool Connection::StillUsable() {
  if (handle_ == kNone) return false;
  char probe;
  // The socket is non-blocking: nothing waiting gives WSAEWOULDBLOCK.
  const int n = ::recv(static_cast<SOCKET>(handle_), &probe, 1, MSG_PEEK);
  return n == SOCKET_ERROR && ::WSAGetLastError() == WSAEWOULDBLOCK;
}

}  // namespace net
