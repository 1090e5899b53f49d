// qx_http_bench URL OUTPUT: downloads URL with the updater's HTTP client into
// the file OUTPUT (as the download stage does) and prints the bytes and the
// seconds the transfer took, from the request to the last byte.
#include <chrono>
#include <cstdio>
#include <exception>
#include <string>

#include "framework/classes.h"
#include "server/idhttp.h"

namespace {

// Counts what passes on to the file.
class CountingStream : public TStream {
 public:
  explicit CountingStream(TStream& target) : target_(target) {}
  void WriteBuffer(const void* data, size_t count) override {
    target_.WriteBuffer(data, count);
    bytes += count;
  }
  unsigned long long bytes = 0;

 private:
  TStream& target_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: qx_http_bench URL OUTPUT\n");
    return 2;
  }
  try {
    const std::string url = argv[1];
    TFileStream file(Utf8ToString(argv[2]), fmCreate | fmShareDenyNone);
    CountingStream target(file);
    TIdHTTP http;
    const auto start = std::chrono::steady_clock::now();
    http.Get(String(url.begin(), url.end()), target);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("%llu %.6f\n", target.bytes, took.count());
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qx_http_bench: %s\n", e.what());
    return 1;
  }
}
