#pragma once
// A real update host for tests: Debian's nginx as an unprivileged master
// process on a free 127.0.0.1 port, serving a folder, with a generated
// configuration in a temporary directory. Stopped by its PID when the
// runner is destroyed, and also when the test process dies.
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace testhttp {

class NginxRunner {
 public:
  struct Options {
    int keepaliveTimeoutSeconds = 75;
  };

  NginxRunner();  // default options
  explicit NginxRunner(Options options);
  ~NginxRunner();
  NginxRunner(const NginxRunner&) = delete;
  NginxRunner& operator=(const NginxRunner&) = delete;

  uint16_t Port() const { return port_; }
  std::string Url(const std::string& path) const;
  // The folder served as the site's root; files put there are served.
  const std::string& Root() const { return root_; }
  const std::string& Directory() const { return dir_; }
  // Lines of the access log, each "<connection> <connection_requests> <uri> <status> <bytes>".
  std::vector<std::string> AccessLog() const;
  // Waits up to ms for the access log to have at least n lines.
  std::vector<std::string> WaitForAccessLog(size_t n, int ms) const;

 private:
  bool Start(const Options& options);
  void Stop();

  std::string dir_;
  std::string root_;
  uint16_t port_ = 0;
  pid_t pid_ = -1;
};

// Removes a directory tree.
void RemoveTree(const std::string& path);

}  // namespace testhttp
