#pragma once
// One TCP connection over IPv4, with time limits; the platform's sockets
// (Winsock or POSIX) behind it. Every failure is an EIdSocketError with a
// Windows Sockets error number; a time limit running out is 10060.
#include <cstddef>
#include <cstdint>
#include <string>

namespace net {

class Connection {
 public:
  // Resolves host to an IPv4 address and connects to port, waiting at most
  // timeoutMs (a negative limit waits as long as the system does).
  static Connection Open(const std::string& host, uint16_t port, int timeoutMs);

  Connection(Connection&& other) noexcept;
  Connection& operator=(Connection&& other) noexcept;
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  ~Connection();

  // Sends every byte; timeoutMs bounds each wait for the connection to take more.
  void SendAll(const char* data, size_t size, int timeoutMs);
  // Waits at most timeoutMs for bytes and returns up to capacity of them;
  // 0 when the peer has closed the connection.
  size_t Receive(char* buffer, size_t capacity, int timeoutMs);
  // Looks without waiting: false when the peer has closed the connection,
  // it broke, or bytes that no request asked for are waiting on it.
  bool StillUsable();
  void Close() noexcept;

 private:
  explicit Connection(intptr_t handle) : handle_(handle) {}
  static constexpr intptr_t kNone = -1;
  intptr_t handle_ = kNone;
};

}  // namespace net
