#pragma once
// Windows Sockets and resolver error numbers and their German texts. Every
// platform reports its socket failures with these numbers.
#include "framework/text.h"

namespace socket_errors {
constexpr int kInterrupted = 10004;         // WSAEINTR
constexpr int kAccessDenied = 10013;        // WSAEACCES
constexpr int kInvalidArgument = 10022;     // WSAEINVAL
constexpr int kTooManySockets = 10024;      // WSAEMFILE
constexpr int kWouldBlock = 10035;          // WSAEWOULDBLOCK
constexpr int kInProgress = 10036;          // WSAEINPROGRESS
constexpr int kAlreadyInProgress = 10037;   // WSAEALREADY
constexpr int kNotASocket = 10038;          // WSAENOTSOCK
constexpr int kMessageTooLong = 10040;      // WSAEMSGSIZE
constexpr int kFamilyNotSupported = 10047;  // WSAEAFNOSUPPORT
constexpr int kAddressInUse = 10048;        // WSAEADDRINUSE
constexpr int kAddressNotAvailable = 10049; // WSAEADDRNOTAVAIL
constexpr int kNetworkDown = 10050;         // WSAENETDOWN
constexpr int kNetworkUnreachable = 10051;  // WSAENETUNREACH
constexpr int kNetworkReset = 10052;        // WSAENETRESET
constexpr int kConnectionAborted = 10053;   // WSAECONNABORTED
constexpr int kConnectionReset = 10054;     // WSAECONNRESET
constexpr int kNoBufferSpace = 10055;       // WSAENOBUFS
constexpr int kAlreadyConnected = 10056;    // WSAEISCONN
constexpr int kNotConnected = 10057;        // WSAENOTCONN
constexpr int kShutDown = 10058;            // WSAESHUTDOWN
constexpr int kTimedOut = 10060;            // WSAETIMEDOUT
constexpr int kConnectionRefused = 10061;   // WSAECONNREFUSED
constexpr int kHostDown = 10064;            // WSAEHOSTDOWN
constexpr int kHostUnreachable = 10065;     // WSAEHOSTUNREACH
constexpr int kSystemNotReady = 10091;      // WSASYSNOTREADY
constexpr int kNotInitialised = 10093;      // WSANOTINITIALISED
constexpr int kTypeNotFound = 10109;        // WSATYPE_NOT_FOUND
constexpr int kHostNotFound = 11001;        // WSAHOST_NOT_FOUND
constexpr int kTryAgain = 11002;            // WSATRY_AGAIN
constexpr int kNoRecovery = 11003;          // WSANO_RECOVERY
constexpr int kNoData = 11004;              // WSANO_DATA
}  // namespace socket_errors

// The German text of a socket or resolver error number; a general text for
// numbers outside the table.
String SocketErrorText(int errorNumber);
