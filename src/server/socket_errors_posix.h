#pragma once
// The Windows Sockets error numbers for the failures of POSIX sockets and of
// the resolver, so that messages read the same on every platform.

namespace socket_errors {

int FromErrno(int error);
// A getaddrinfo result; systemErrno is errno after an EAI_SYSTEM result.
int FromResolver(int result, int systemErrno);

}  // namespace socket_errors
