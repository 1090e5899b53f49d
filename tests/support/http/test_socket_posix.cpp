#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "test_socket.h"

namespace testhttp::sock {

Library::Library() = default;
Library::~Library() = default;

Handle Listen(uint16_t port, uint16_t& actualPort) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return kNone;
  const int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 16) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    ::close(fd);
    return kNone;
  }
  actualPort = ntohs(a.sin_port);
  return fd;
}

int WaitReadable(Handle h, int waitMs) {
  pollfd p{static_cast<int>(h), POLLIN, 0};
  const int r = ::poll(&p, 1, waitMs);
  if (r < 0) return errno == EINTR ? 0 : -1;
  return r > 0 ? 1 : 0;
}

Handle Accept(Handle listener) {
  const int fd = ::accept4(static_cast<int>(listener), nullptr, nullptr, SOCK_CLOEXEC);
  return fd < 0 ? kNone : fd;
}

long Receive(Handle h, char* buffer, size_t capacity) {
  for (;;) {
    const ssize_t n = ::recv(static_cast<int>(h), buffer, capacity, 0);
    if (n < 0 && errno == EINTR) continue;
    return static_cast<long>(n);
  }
}

bool SendAll(Handle h, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::send(static_cast<int>(h), data, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

void Close(Handle h) {
  if (h != kNone) ::close(static_cast<int>(h));
}

void Abort(Handle h) {
  if (h == kNone) return;
  linger l{1, 0};
  ::setsockopt(static_cast<int>(h), SOL_SOCKET, SO_LINGER, &l, sizeof l);
  ::close(static_cast<int>(h));
}

bool AbortResets() { return true; }

}  // namespace testhttp::sock
