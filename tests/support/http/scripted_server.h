#pragma once
// A scriptable HTTP test server on 127.0.0.1 for the HTTP client's tests:
// each accepted connection follows its own script of byte-exact responses,
// stalls and closes, and every request that arrives is recorded raw.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "test_socket.h"

namespace testhttp {

struct Step {
  enum class Kind { kExpectRequest, kSend, kStall, kClose, kReset };
  Kind kind;
  std::string bytes;
  int ms = 0;
};

// What the server does on one connection, in order. When the steps run out
// without a close, the connection stays open and idle until the client
// closes it or the test calls CloseIdleConnections.
class ConnectionScript {
 public:
  // Reads one request head (up to its empty line) and records it.
  ConnectionScript& ExpectRequest();
  // Sends exactly these bytes.
  ConnectionScript& Send(std::string bytes);
  // Sends nothing for ms milliseconds.
  ConnectionScript& Stall(int ms);
  ConnectionScript& Close();
  // Closes with a reset.
  ConnectionScript& Reset();

  // ExpectRequest, then Send(response).
  ConnectionScript& Answer(std::string response) { return ExpectRequest().Send(std::move(response)); }

  const std::vector<Step>& Steps() const { return steps_; }

 private:
  std::vector<Step> steps_;
};

struct RecordedRequest {
  int connection;  // 0 for the first connection accepted
  std::string bytes;
};

class ScriptedServer {
 public:
  // Connection i follows scripts[i]; connections beyond them are closed at once.
  explicit ScriptedServer(std::vector<ConnectionScript> scripts, uint16_t port = 0);
  ~ScriptedServer();
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  uint16_t Port() const { return port_; }
  // "http://127.0.0.1:<port>" followed by path.
  std::string Url(std::string_view path) const;

  std::vector<RecordedRequest> Requests() const;
  int ConnectionsAccepted() const { return accepted_.load(); }
  // Closes every connection whose script is done and that is still open;
  // returns when they are closed.
  void CloseIdleConnections();
  // Called for each request as it is recorded (from the server's threads).
  void OnRequest(std::function<void(const RecordedRequest&)> callback);
  // Waits up to ms for every accepted connection to be closed (by either
  // side); true when they are.
  bool WaitUntilAllClosed(int ms);
  // Whether every scripted connection has come and finished its script.
  bool AllScriptsDone() const;

 private:
  struct Connection;
  void AcceptLoop();
  void Serve(Connection& c);
  bool ReadRequest(Connection& c);
  bool Pause(int ms);
  void Record(int connection, std::string bytes);
  void Mark(std::atomic<bool>& flag, bool value);

  sock::Library library_;
  std::vector<ConnectionScript> scripts_;
  sock::Handle listener_ = sock::kNone;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> accepted_{0};
  std::atomic<int> scriptsDone_{0};
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<RecordedRequest> requests_;
  std::function<void(const RecordedRequest&)> onRequest_;
  std::vector<std::unique_ptr<Connection>> connections_;
  std::thread acceptThread_;
};

// An HTTP/1.1 response with the given status line ("200 OK"), header lines
// (each without its line end) and a Content-Length body.
std::string Response(std::string_view status, std::vector<std::string> headers, std::string_view body);

}  // namespace testhttp
