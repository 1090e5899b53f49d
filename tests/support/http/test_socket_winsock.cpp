#include "framework/win32/win32_api.h"

#include "test_socket.h"

namespace testhttp::sock {

Library::Library() {
  WSADATA data;
  ::WSAStartup(MAKEWORD(2, 2), &data);
}
Library::~Library() { ::WSACleanup(); }

Handle Listen(uint16_t port, uint16_t& actualPort) {
  const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return kNone;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int len = sizeof a;
  if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(s, 16) != 0 ||
      ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    ::closesocket(s);
    return kNone;
  }
  actualPort = ntohs(a.sin_port);
  return static_cast<Handle>(s);
}

int WaitReadable(Handle h, int waitMs) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(static_cast<SOCKET>(h), &readable);
  timeval limit{waitMs / 1000, (waitMs % 1000) * 1000};
  const int r = ::select(0, &readable, nullptr, nullptr, &limit);
  if (r == SOCKET_ERROR) return -1;
  return r > 0 ? 1 : 0;
}

Handle Accept(Handle listener) {
  const SOCKET s = ::accept(static_cast<SOCKET>(listener), nullptr, nullptr);
  return s == INVALID_SOCKET ? kNone : static_cast<Handle>(s);
}

long Receive(Handle h, char* buffer, size_t capacity) {
  const int n = ::recv(static_cast<SOCKET>(h), buffer, static_cast<int>(capacity), 0);
  return n == SOCKET_ERROR ? -1 : n;
}

bool SendAll(Handle h, const char* data, size_t size) {
  while (size > 0) {
    const int n = ::send(static_cast<SOCKET>(h), data, static_cast<int>(size), 0);
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

void Close(Handle h) {
  if (h != kNone) ::closesocket(static_cast<SOCKET>(h));
}

void Abort(Handle h) {
  if (h == kNone) return;
  linger l{1, 0};
  ::setsockopt(static_cast<SOCKET>(h), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof l);
  ::closesocket(static_cast<SOCKET>(h));
}

bool AbortResets() { return false; }

}  // namespace testhttp::sock
