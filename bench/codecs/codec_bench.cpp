// Decodes the raw compressed data of one ZIP entry with our decoder for
// enhanced deflated or bzip2 data, several times, and prints the speed and
// the heap the decoder used at most. With --out the decoded data is written
// to a file, for comparison with a reference tool.
//
//   codec_bench deflate64|bzip2 FILE [--repeat N] [--out FILE]
#include <chrono>
#include <cstdio>
#include <ctime>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "install/codecs/factories.h"

namespace {

// Heap use, to show that memory does not grow with the entry's size.
size_t g_heap_now = 0;
size_t g_heap_peak = 0;

class MemorySource final : public codecs::ByteSource {
 public:
  explicit MemorySource(const std::vector<uint8_t>& data) : data_(data) {}
  size_t Read(uint8_t* buffer, size_t capacity) override {
    const size_t n = std::min(capacity, data_.size() - pos_);
    std::memcpy(buffer, data_.data() + pos_, n);
    pos_ += n;
    return n;
  }

 private:
  const std::vector<uint8_t>& data_;
  size_t pos_ = 0;
};

class CountingSink final : public codecs::ByteSink {
 public:
  explicit CountingSink(std::FILE* file) : file_(file) {}
  void Write(const uint8_t* data, size_t size) override {
    total += size;
    ++writes;
    smallest = std::min(smallest, size);
    if (file_ && std::fwrite(data, 1, size, file_) != size) throw std::runtime_error("write failed");
  }
  uint64_t total = 0;
  uint64_t writes = 0;
  size_t smallest = SIZE_MAX;

 private:
  std::FILE* file_;
};

}  // namespace

void* operator new(size_t size) {
  void* p = std::malloc(size + 16);
  if (!p) throw std::bad_alloc();
  *static_cast<size_t*>(p) = size;
  g_heap_now += size;
  if (g_heap_now > g_heap_peak) g_heap_peak = g_heap_now;
  return static_cast<char*>(p) + 16;
}
void* operator new[](size_t size) { return operator new(size); }
void operator delete(void* p) noexcept {
  if (!p) return;
  char* block = static_cast<char*>(p) - 16;
  g_heap_now -= *reinterpret_cast<size_t*>(block);
  std::free(block);
}
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete(void* p, size_t) noexcept { operator delete(p); }
void operator delete[](void* p, size_t) noexcept { operator delete(p); }

int main(int argc, char** argv) {
  if (argc < 3) {
    std::cerr << "usage: codec_bench deflate64|bzip2 FILE [--repeat N] [--out FILE]\n";
    return 2;
  }
  const std::string method = argv[1];
  int repeat = 5;
  const char* out_path = nullptr;
  for (int i = 3; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--repeat") == 0) repeat = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--out") == 0) out_path = argv[i + 1];
  }
  std::vector<uint8_t> data;
  {
    std::ifstream file(argv[2], std::ios::binary | std::ios::ate);
    data.resize(static_cast<size_t>(file.tellg()));
    file.seekg(0);
    file.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size()));
  }

  double best = 1e30;
  double best_cpu = 1e30;
  uint64_t produced = 0;
  size_t peak = 0;
  uint64_t writes = 0;
  size_t smallest = 0;
  for (int r = 0; r < repeat; ++r) {
    std::FILE* out = (out_path && r == 0) ? std::fopen(out_path, "wb") : nullptr;
    MemorySource source(data);
    CountingSink sink(out);
    auto decoder = method == "bzip2" ? codecs::MakeBzip2Decoder() : codecs::MakeDeflate64Decoder();
    const size_t heap_before = g_heap_now;
    g_heap_peak = g_heap_now;
    const auto start = std::chrono::steady_clock::now();
    const std::clock_t cpu_start = std::clock();
    try {
      decoder->Decode(source, sink, codecs::EntryParameters{});
    } catch (const codecs::DecodeError& e) {
      std::cerr << "decode error: " << e.what() << " after " << sink.total << " bytes\n";
      return 1;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpu_seconds = static_cast<double>(std::clock() - cpu_start) / CLOCKS_PER_SEC;
    if (out) std::fclose(out);
    best = std::min(best, seconds);
    best_cpu = std::min(best_cpu, cpu_seconds);
    produced = sink.total;
    peak = g_heap_peak - heap_before;
    writes = sink.writes;
    smallest = sink.smallest;
  }
  const double megabytes = static_cast<double>(produced) / 1e6;
  std::printf("%s %s: %llu -> %llu bytes, best %.4f s, cpu %.4f s, %.1f MB/s out, heap peak %zu KiB, "
              "%llu writes (smallest %zu)\n",
              method.c_str(), argv[2], static_cast<unsigned long long>(data.size()),
              static_cast<unsigned long long>(produced), best, best_cpu, megabytes / best_cpu, peak / 1024,
              static_cast<unsigned long long>(writes), smallest);
  return 0;
}
