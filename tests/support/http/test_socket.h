#pragma once
// The few socket calls the scripted test server needs, on 127.0.0.1 only;
// POSIX and Winsock behind one interface.
#include <cstddef>
#include <cstdint>

namespace testhttp::sock {

using Handle = intptr_t;
constexpr Handle kNone = -1;

// Keeps the platform's socket library ready while it lives.
class Library {
 public:
  Library();
  ~Library();
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;
};

// A listening socket on 127.0.0.1:port (0 picks a free port); actualPort
// receives the port. Returns kNone on failure.
Handle Listen(uint16_t port, uint16_t& actualPort);
// Waits up to waitMs for a socket to become readable (or an incoming
// connection on a listener). 1 ready, 0 not yet, -1 error.
int WaitReadable(Handle h, int waitMs);
Handle Accept(Handle listener);
// Bytes received, 0 when the peer closed, -1 on error.
long Receive(Handle h, char* buffer, size_t capacity);
bool SendAll(Handle h, const char* data, size_t size);
void Close(Handle h);
// Closes with a reset instead of the orderly close.
void Abort(Handle h);
// Whether Abort really resets the connection. Wine's closesocket closes it in
// order even with a zero linger time.
bool AbortResets();

}  // namespace testhttp::sock
