#pragma once
// Failures of the HTTP client. Their messages reach the user in the error
// report of the version check, so they are German and worded like the
// platform's own.
#include "framework/sysutils.h"

// Base of every failure of the HTTP client.
class EIdException : public Exception {
 public:
  using Exception::Exception;
};

// A failure of name resolution or of the connection, with its Windows
// Sockets error number: "Socket-Fehler # 10061\r\nVerbindung abgelehnt."
class EIdSocketError : public EIdException {
 public:
  explicit EIdSocketError(int lastError);
  int LastError() const noexcept { return lastError_; }

 private:
  int lastError_;
};

// The update host closed the connection before the response was complete.
class EIdConnClosedGracefully : public EIdException {
 public:
  EIdConnClosedGracefully();
};

// The update host answered, but not with a success. The message is the status
// line as received; the body of the answer is kept in ErrorMessage.
class EIdHTTPProtocolException : public EIdException {
 public:
  EIdHTTPProtocolException(String statusLine, int errorCode, String errorMessage);
  int ErrorCode;
  String ErrorMessage;
};
