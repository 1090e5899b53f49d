#include "nginx_runner.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "test_socket.h"

namespace testhttp {

namespace {

uint16_t FreePort() {
  uint16_t port = 0;
  const sock::Handle h = sock::Listen(0, port);
  sock::Close(h);
  return port;
}

bool Accepts(uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  ::close(fd);
  return ok;
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace

void RemoveTree(const std::string& path) {
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
}

NginxRunner::NginxRunner() : NginxRunner(Options{}) {}

NginxRunner::NginxRunner(Options options) {
  char pattern[] = "/tmp/qx-nginx-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) throw std::runtime_error("cannot make a temporary directory");
  dir_ = pattern;
  // The worker processes may run as another user; they read the site.
  ::chmod(dir_.c_str(), 0755);
  root_ = dir_ + "/www";
  std::filesystem::create_directories(root_);
  std::filesystem::create_directories(dir_ + "/tmp");
  for (int attempt = 0; attempt < 5; ++attempt) {
    if (Start(options)) return;
  }
  const std::string log = dir_ + "/error.log";
  std::ifstream in(log);
  std::ostringstream text;
  text << in.rdbuf();
  RemoveTree(dir_);
  throw std::runtime_error("nginx did not start: " + text.str());
}

NginxRunner::~NginxRunner() {
  Stop();
  RemoveTree(dir_);
}

bool NginxRunner::Start(const Options& options) {
  port_ = FreePort();
  const std::string conf = dir_ + "/nginx.conf";
  std::ostringstream c;
  c << "worker_processes 1;\n"
    << "error_log " << dir_ << "/error.log;\n"
    << "pid " << dir_ << "/nginx.pid;\n"
    << "events { worker_connections 64; }\n"
    << "http {\n"
    << "  log_format conn '$connection $connection_requests $request_uri $status $body_bytes_sent';\n"
    << "  access_log " << dir_ << "/access.log conn;\n"
    << "  client_body_temp_path " << dir_ << "/tmp/body;\n"
    << "  proxy_temp_path " << dir_ << "/tmp/proxy;\n"
    << "  fastcgi_temp_path " << dir_ << "/tmp/fastcgi;\n"
    << "  uwsgi_temp_path " << dir_ << "/tmp/uwsgi;\n"
    << "  scgi_temp_path " << dir_ << "/tmp/scgi;\n"
    << "  types { application/zip zip; }\n"
    << "  default_type application/octet-stream;\n"
    << "  sendfile on;\n"
    << "  keepalive_timeout " << options.keepaliveTimeoutSeconds << "s;\n"
    // Compression is on, so that the requests' "identity" is what keeps the bodies plain.
    << "  gzip on; gzip_min_length 1; gzip_types text/plain application/zip;\n"
    << "  server {\n"
    << "    listen 127.0.0.1:" << port_ << ";\n"
    << "    root " << root_ << ";\n"
    << "    location = /qx/newest { default_type text/plain; }\n"
    << "  }\n"
    << "}\n";
  WriteFile(conf, c.str());
  std::remove((dir_ + "/error.log").c_str());

  const pid_t parent = ::getpid();
  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("cannot fork");
  if (pid_ == 0) {
    // nginx goes when the test process goes, however it ends.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);
    const int devnull = ::open("/dev/null", O_RDWR);
    ::dup2(devnull, 0);
    ::dup2(devnull, 1);
    ::execlp("nginx", "nginx", "-p", dir_.c_str(), "-c", conf.c_str(), "-g", "daemon off;", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < end) {
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return false;  // it ended: most likely the port was taken meanwhile
    }
    if (Accepts(port_)) {
      // The probe itself is logged as a connection without a request; only requests are.
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  Stop();
  return false;
}

void NginxRunner::Stop() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  int status = 0;
  for (int i = 0; i < 250; ++i) {
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
}

std::string NginxRunner::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<std::string> NginxRunner::AccessLog() const {
  std::vector<std::string> lines;
  std::ifstream in(dir_ + "/access.log");
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> NginxRunner::WaitForAccessLog(size_t n, int ms) const {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  auto lines = AccessLog();
  while (lines.size() < n && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    lines = AccessLog();
  }
  return lines;
}

}  // namespace testhttp
