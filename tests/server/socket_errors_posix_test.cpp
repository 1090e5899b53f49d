// POSIX and resolver failures are reported with the Windows Sockets numbers.
#include <gtest/gtest.h>
#include <netdb.h>

#include <cerrno>

#include "server/socket_errors_posix.h"

TEST(SocketErrorsPosix, MapToWindowsSocketsNumbers) {
  using socket_errors::FromErrno;
  EXPECT_EQ(FromErrno(ECONNREFUSED), 10061);
  EXPECT_EQ(FromErrno(ETIMEDOUT), 10060);
  EXPECT_EQ(FromErrno(ECONNRESET), 10054);
  EXPECT_EQ(FromErrno(EPIPE), 10054);
  EXPECT_EQ(FromErrno(ECONNABORTED), 10053);
  EXPECT_EQ(FromErrno(EACCES), 10013);
  EXPECT_EQ(FromErrno(EADDRINUSE), 10048);
  EXPECT_EQ(FromErrno(EADDRNOTAVAIL), 10049);
  EXPECT_EQ(FromErrno(ENETDOWN), 10050);
  EXPECT_EQ(FromErrno(ENETUNREACH), 10051);
  EXPECT_EQ(FromErrno(ENETRESET), 10052);
  EXPECT_EQ(FromErrno(EISCONN), 10056);
  EXPECT_EQ(FromErrno(ENOTCONN), 10057);
  EXPECT_EQ(FromErrno(ESHUTDOWN), 10058);
  EXPECT_EQ(FromErrno(EHOSTDOWN), 10064);
  EXPECT_EQ(FromErrno(EHOSTUNREACH), 10065);
  EXPECT_EQ(socket_errors::FromResolver(EAI_NONAME, 0), 11001);
  EXPECT_EQ(socket_errors::FromResolver(EAI_AGAIN, 0), 11002);
  EXPECT_EQ(socket_errors::FromResolver(EAI_FAIL, 0), 11003);
  EXPECT_EQ(socket_errors::FromResolver(EAI_NODATA, 0), 11004);
  EXPECT_EQ(socket_errors::FromResolver(EAI_SYSTEM, ECONNREFUSED), 10061);
}
