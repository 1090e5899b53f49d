#pragma once
// The cases of the HTTP client against the scripted test server: one table,
// run by client_test.cpp on every platform.
#include <ostream>
#include <string>
#include <vector>

#include "framework/text.h"
#include "scripted_server.h"

namespace client_cases {

enum class Op { kFetchNewest, kDownload };

struct Outcome {
  enum Kind { kOk, kProtocol, kSocket, kClosed, kMalformed } kind = kOk;
  String text;         // returned text (text operations), else the exception's message
  std::string body;    // bytes that reached the target (stream operations)
  int code = 0;        // ErrorCode of a protocol failure, LastError of a socket failure
  String errorBody;    // ErrorMessage of a protocol failure
};

struct Call {
  Op op;
  String argument;  // the version text for kDownload
  Outcome expect;
  bool closeIdleBefore = false;  // the update host closes idle connections before this call
};

struct Case {
  std::string name;
  std::vector<testhttp::ConnectionScript> scripts;
  std::vector<Call> calls;
  int connections;                      // connections the client opened
  std::vector<std::string> requests{};  // exact request bytes, "$HOST" for 127.0.0.1:port; unchecked when empty
  int readTimeoutMs = 5000;
};

std::vector<Case> AllCases();

// The case by its name (its bytes hold padding that was never written).
inline void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

}  // namespace client_cases
