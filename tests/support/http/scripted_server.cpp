#include "scripted_server.h"

#include <chrono>
#include <stdexcept>

namespace testhttp {

ConnectionScript& ConnectionScript::ExpectRequest() {
  steps_.push_back({Step::Kind::kExpectRequest, {}, 0});
  return *this;
}
ConnectionScript& ConnectionScript::Send(std::string bytes) {
  steps_.push_back({Step::Kind::kSend, std::move(bytes), 0});
  return *this;
}
ConnectionScript& ConnectionScript::Stall(int ms) {
  steps_.push_back({Step::Kind::kStall, {}, ms});
  return *this;
}
ConnectionScript& ConnectionScript::Close() {
  steps_.push_back({Step::Kind::kClose, {}, 0});
  return *this;
}
ConnectionScript& ConnectionScript::Reset() {
  steps_.push_back({Step::Kind::kReset, {}, 0});
  return *this;
}

struct ScriptedServer::Connection {
  int index = 0;
  sock::Handle socket = sock::kNone;
  std::string pending;  // received, not yet taken as a request
  std::atomic<bool> idle{false};
  std::atomic<bool> awaitingClient{false};
  std::atomic<bool> closeRequested{false};
  std::atomic<bool> closed{false};
  std::thread thread;
};

namespace {
constexpr int kSliceMs = 10;
}

ScriptedServer::ScriptedServer(std::vector<ConnectionScript> scripts, uint16_t port) : scripts_(std::move(scripts)) {
  listener_ = sock::Listen(port, port_);
  if (listener_ == sock::kNone) throw std::runtime_error("test server: cannot listen on 127.0.0.1");
  acceptThread_ = std::thread([this] { AcceptLoop(); });
}

ScriptedServer::~ScriptedServer() {
  stop_ = true;
  acceptThread_.join();
  for (auto& c : connections_) {
    if (c->thread.joinable()) c->thread.join();
  }
  sock::Close(listener_);
}

std::string ScriptedServer::Url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

std::vector<RecordedRequest> ScriptedServer::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void ScriptedServer::OnRequest(std::function<void(const RecordedRequest&)> callback) {
  std::lock_guard lock(mutex_);
  onRequest_ = std::move(callback);
}

bool ScriptedServer::AllScriptsDone() const { return scriptsDone_.load() >= static_cast<int>(scripts_.size()); }

void ScriptedServer::CloseIdleConnections() {
  std::unique_lock lock(mutex_);
  // A connection that has just sent its last bytes becomes idle a moment later.
  changed_.wait_for(lock, std::chrono::seconds(5), [this] {
    for (auto& c : connections_) {
      if (!c->idle && !c->closed && !c->awaitingClient) return false;
    }
    return true;
  });
  for (auto& c : connections_) {
    if (c->idle && !c->closed) c->closeRequested = true;
  }
  changed_.wait_for(lock, std::chrono::seconds(10), [this] {
    for (auto& c : connections_) {
      if (c->closeRequested && !c->closed) return false;
    }
    return true;
  });
}

bool ScriptedServer::WaitUntilAllClosed(int ms) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(ms), [this] {
    for (auto& c : connections_) {
      if (!c->closed) return false;
    }
    return true;
  });
}

void ScriptedServer::Record(int connection, std::string bytes) {
  std::function<void(const RecordedRequest&)> callback;
  RecordedRequest r{connection, std::move(bytes)};
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(r);
    callback = onRequest_;
  }
  if (callback) callback(r);
}

void ScriptedServer::AcceptLoop() {
  while (!stop_) {
    if (sock::WaitReadable(listener_, kSliceMs) != 1) continue;
    const sock::Handle s = sock::Accept(listener_);
    if (s == sock::kNone) continue;
    const int index = accepted_++;
    if (index >= static_cast<int>(scripts_.size())) {
      sock::Close(s);
      continue;
    }
    auto c = std::make_unique<Connection>();
    c->index = index;
    c->socket = s;
    Connection& ref = *c;
    {
      std::lock_guard lock(mutex_);
      connections_.push_back(std::move(c));
    }
    ref.thread = std::thread([this, &ref] { Serve(ref); });
  }
}

bool ScriptedServer::Pause(int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    if (stop_) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(kSliceMs));
  }
  return true;
}

// Takes one request head from the connection; false when the connection or
// the server ended first.
bool ScriptedServer::ReadRequest(Connection& c) {
  char buffer[4096];
  for (;;) {
    const size_t end = c.pending.find("\r\n\r\n");
    if (end != std::string::npos) {
      Record(c.index, c.pending.substr(0, end + 4));
      c.pending.erase(0, end + 4);
      return true;
    }
    if (stop_ || (c.idle && c.closeRequested)) return false;
    const int ready = sock::WaitReadable(c.socket, kSliceMs);
    if (ready < 0) return false;
    if (ready == 0) continue;
    const long n = sock::Receive(c.socket, buffer, sizeof buffer);
    if (n <= 0) {
      // What came without its empty line is recorded too.
      if (!c.pending.empty()) Record(c.index, std::move(c.pending));
      return false;
    }
    c.pending.append(buffer, static_cast<size_t>(n));
  }
}

void ScriptedServer::Serve(Connection& c) {
  bool open = true;
  for (const Step& step : scripts_[static_cast<size_t>(c.index)].Steps()) {
    if (!open) break;
    switch (step.kind) {
      case Step::Kind::kExpectRequest:
        Mark(c.awaitingClient, true);
        open = ReadRequest(c);
        Mark(c.awaitingClient, false);
        break;
      case Step::Kind::kSend:
        open = sock::SendAll(c.socket, step.bytes.data(), step.bytes.size());
        break;
      case Step::Kind::kStall:
        open = Pause(step.ms);
        break;
      case Step::Kind::kClose:
        sock::Close(c.socket);
        open = false;
        break;
      case Step::Kind::kReset:
        sock::Abort(c.socket);
        open = false;
        break;
    }
  }
  if (open) {
    // Idle: further requests are recorded, so that a test sees one that
    // went to the wrong connection; it ends when the client closes it.
    Mark(c.idle, true);
    while (ReadRequest(c)) {
    }
    sock::Close(c.socket);
  }
  ++scriptsDone_;
  Mark(c.closed, true);
}

void ScriptedServer::Mark(std::atomic<bool>& flag, bool value) {
  std::lock_guard lock(mutex_);
  flag = value;
  changed_.notify_all();
}

std::string Response(std::string_view status, std::vector<std::string> headers, std::string_view body) {
  std::string r = "HTTP/1.1 " + std::string(status) + "\r\n";
  for (const auto& h : headers) r += h + "\r\n";
  r += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
  r += body;
  return r;
}

}  // namespace testhttp
