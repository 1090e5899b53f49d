// qx_test_server SCRIPT PORT [--log FILE] [--timeout SECONDS]
//
// A scripted HTTP server on 127.0.0.1 for end-to-end tests of the updater.
// PORT 0 picks a free port. Once listening it prints the port number and a
// line end on standard output. It runs until SIGINT or SIGTERM, or until the
// time limit (default 300 s) has passed; with --log every request that
// arrives is appended to FILE as the line "request <connection> <length>",
// then exactly <length> raw bytes, then a line feed.
//
// Script format, one step a line; blank lines and lines starting with # are
// ignored:
//
//   connection        starts the script of the next connection accepted
//                     (the first 'connection' is for the first one, ...);
//                     connections beyond the scripts are closed at once
//   expect            waits for one request head (up to its empty line)
//                     and records it
//   send TEXT         sends TEXT exactly, nothing added: everything after
//                     the one blank that follows 'send', with the escapes
//                     \r \n \t \0 \\ \" \xHH
//   sendfile PATH     sends the bytes of a file (relative to the script)
//   stall MS          sends nothing for MS milliseconds
//   close             closes the connection
//   reset             closes the connection with a reset
//
// A connection whose script ends without 'close' stays open until the
// client closes it; requests arriving on it then are logged too.
//
// Example: the newest version text, then a 404 for the archive, on one
// connection that the server then closes.
//
//   connection
//   expect
//   send HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 3\r\n\r\n1.5
//   expect
//   send HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n
//   close
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

#include "script_file.h"
#include "scripted_server.h"

namespace {

std::atomic<bool> stopRequested{false};

extern "C" void OnSignal(int) { stopRequested = true; }

int Usage() {
  std::cerr << "usage: qx_test_server SCRIPT PORT [--log FILE] [--timeout SECONDS]\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  const std::string scriptPath = argv[1];
  const int port = std::atoi(argv[2]);
  std::string logPath;
  int timeoutSeconds = 300;
  for (int i = 3; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--log") logPath = argv[i + 1];
    else if (option == "--timeout") timeoutSeconds = std::atoi(argv[i + 1]);
    else return Usage();
  }
  if (port < 0 || port > 65535 || (argc - 3) % 2 != 0) return Usage();

  std::vector<testhttp::ConnectionScript> scripts;
  try {
    std::ifstream in(scriptPath, std::ios::binary);
    if (!in) throw testhttp::ScriptError("cannot read " + scriptPath);
    std::ostringstream text;
    text << in.rdbuf();
    const size_t slash = scriptPath.find_last_of("/\\");
    scripts = testhttp::ParseScript(text.str(), slash == std::string::npos ? "" : scriptPath.substr(0, slash));
  } catch (const testhttp::ScriptError& e) {
    std::cerr << "qx_test_server: " << scriptPath << ": " << e.what() << "\n";
    return 2;
  }

  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);

  // The log outlives the server, whose threads write to it.
  std::ofstream log;
  std::mutex logMutex;
  testhttp::ScriptedServer server(std::move(scripts), static_cast<uint16_t>(port));
  if (!logPath.empty()) {
    log.open(logPath, std::ios::binary | std::ios::app);
    server.OnRequest([&](const testhttp::RecordedRequest& r) {
      std::lock_guard lock(logMutex);
      log << "request " << r.connection << " " << r.bytes.size() << "\n" << r.bytes << "\n";
      log.flush();
    });
  }
  std::cout << server.Port() << std::endl;

  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  while (!stopRequested && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return 0;
}
