// The connection over POSIX sockets.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <string>
#include <utility>

#include "server/exceptions.h"
#include "server/socket.h"
#include "server/socket_errors.h"
#include "server/socket_errors_posix.h"

namespace net {

namespace {

[[noreturn]] void RaiseErrno(int error) { throw EIdSocketError(socket_errors::FromErrno(error)); }

struct AddrInfoFree {
  void operator()(addrinfo* list) const { freeaddrinfo(list); }
};

// Waits until the socket is ready for events; false when the time limit ran out.
bool WaitFor(int fd, short events, int timeoutMs) {
  pollfd p{fd, events, 0};
  for (;;) {
    const int r = poll(&p, 1, timeoutMs < 0 ? -1 : timeoutMs);
    if (r > 0) return true;
    if (r == 0) return false;
    if (errno != EINTR) RaiseErrno(errno);
  }
}

class FdOwner {
 public:
  explicit FdOwner(int fd) : fd_(fd) {}
  ~FdOwner() {
    if (fd_ >= 0) ::close(fd_);
  }
  FdOwner(const FdOwner&) = delete;
  FdOwner& operator=(const FdOwner&) = delete;
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

// Connects one address; returns the socket or the error number.
int ConnectTo(const addrinfo& address, int timeoutMs, int& error) {
  FdOwner fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (fd.get() < 0) {
    error = errno;
    return -1;
  }
  if (::connect(fd.get(), address.ai_addr, address.ai_addrlen) != 0) {
    if (errno != EINPROGRESS) {
      error = errno;
      return -1;
    }
    if (!WaitFor(fd.get(), POLLOUT, timeoutMs)) {
      error = ETIMEDOUT;
      return -1;
    }
    int soError = 0;
    socklen_t len = sizeof soError;
    if (::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &soError, &len) != 0) soError = errno;
    if (soError != 0) {
      error = soError;
      return -1;
    }
  }
  return fd.release();
}

}  // namespace

Connection Connection::Open(const std::string& host, uint16_t port, int timeoutMs) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  errno = 0;
  const int r = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
  if (r != 0) throw EIdSocketError(socket_errors::FromResolver(r, errno));
  std::unique_ptr<addrinfo, AddrInfoFree> list(found);

  int error = ECONNREFUSED;
  for (const addrinfo* a = list.get(); a != nullptr; a = a->ai_next) {
    const int fd = ConnectTo(*a, timeoutMs, error);
    if (fd >= 0) return Connection(fd);
  }
  RaiseErrno(error);
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
  if (handle_ != kNone) ::close(static_cast<int>(std::exchange(handle_, kNone)));
}

void Connection::SendAll(const char* data, size_t size, int timeoutMs) {
  const int fd = static_cast<int>(handle_);
  while (size > 0) {
    const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
    if (n > 0) {
      data += n;
      size -= static_cast<size_t>(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!WaitFor(fd, POLLOUT, timeoutMs)) throw EIdSocketError(socket_errors::kTimedOut);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      RaiseErrno(n < 0 ? errno : ECONNRESET);
    }
  }
}

size_t Connection::Receive(char* buffer, size_t capacity, int timeoutMs) {
  const int fd = static_cast<int>(handle_);
  for (;;) {
    const ssize_t n = ::recv(fd, buffer, capacity, 0);
    if (n >= 0) return static_cast<size_t>(n);
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) RaiseErrno(errno);
    if (!WaitFor(fd, POLLIN, timeoutMs)) throw EIdSocketError(socket_errors::kTimedOut);
  }
}

bool Connection::StillUsable() {
  if (handle_ == kNone) return false;
  char probe;
  for (;;) {
    const ssize_t n = ::recv(static_cast<int>(handle_), &probe, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n < 0 && errno == EINTR) continue;
    // Nothing waiting: open and quiet. 0 is the peer's close; bytes or an
    // error make it unfit for the next request as well.
    return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
  }
}

}  // namespace net
