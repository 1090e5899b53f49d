#include "server/socket_errors_posix.h"

#include <netdb.h>

#include <cerrno>

#include "server/socket_errors.h"

namespace socket_errors {

int FromErrno(int error) {
  switch (error) {
    case EINTR: return kInterrupted;
    case EACCES: case EPERM: return kAccessDenied;
    case EINVAL: return kInvalidArgument;
    case EMFILE: case ENFILE: return kTooManySockets;
    case EINPROGRESS: return kInProgress;
    case EALREADY: return kAlreadyInProgress;
    case ENOTSOCK: case EBADF: return kNotASocket;
    case EMSGSIZE: return kMessageTooLong;
    case EAFNOSUPPORT: return kFamilyNotSupported;
    case EADDRINUSE: return kAddressInUse;
    case EADDRNOTAVAIL: return kAddressNotAvailable;
    case ENETDOWN: return kNetworkDown;
    case ENETUNREACH: return kNetworkUnreachable;
    case ENETRESET: return kNetworkReset;
    case ECONNABORTED: return kConnectionAborted;
    case ECONNRESET: case EPIPE: return kConnectionReset;
    case ENOBUFS: case ENOMEM: return kNoBufferSpace;
    case EISCONN: return kAlreadyConnected;
    case ENOTCONN: return kNotConnected;
    case ESHUTDOWN: return kShutDown;
    case ETIMEDOUT: return kTimedOut;
    case ECONNREFUSED: return kConnectionRefused;
    case EHOSTDOWN: return kHostDown;
    case EHOSTUNREACH: return kHostUnreachable;
    default:
      if (error == EWOULDBLOCK || error == EAGAIN) return kWouldBlock;
      return kConnectionAborted;
  }
}

int FromResolver(int result, int systemErrno) {
  switch (result) {
    case EAI_NONAME: return kHostNotFound;
#ifdef EAI_NODATA
    case EAI_NODATA: return kNoData;
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY: return kNoData;
#endif
    case EAI_AGAIN: return kTryAgain;
    case EAI_FAIL: return kNoRecovery;
    case EAI_FAMILY: return kFamilyNotSupported;
    case EAI_MEMORY: return kNoBufferSpace;
    case EAI_SERVICE: return kTypeNotFound;
    case EAI_SYSTEM: return FromErrno(systemErrno);
    default: return kNoRecovery;
  }
}

}  // namespace socket_errors
