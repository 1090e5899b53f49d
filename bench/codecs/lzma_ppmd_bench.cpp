// Decoding speed of the LZMA and PPMd entries of ZIP archives: each entry is
// decoded from memory several times, the best processor time counts (the
// machine is shared, so wall time is noisy), and the CRC-32 of the output is
// checked against the central directory.
//
//   lzma_ppmd_bench [--repeat N] archive.zip...
//
// Prints one line per entry: method, sizes, seconds and MB/s of output.
// Peak memory is left to /usr/bin/time.
#include <zlib.h>

#include <algorithm>
#include <ctime>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "install/codecs/factories.h"

namespace {

struct Entry {
  std::string name;
  uint16_t method = 0;
  uint16_t flags = 0;
  uint32_t crc = 0;
  uint64_t compressedSize = 0;
  uint64_t uncompressedSize = 0;
  uint64_t dataOffset = 0;
};

uint32_t Le(const std::vector<uint8_t>& d, size_t at, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; i--) v = v << 8 | d.at(at + static_cast<size_t>(i));
  return v;
}

// Enough of the ZIP structures for archives made by 7z (no Zip64 needed
// for bench sizes).
std::vector<Entry> ReadEntries(const std::vector<uint8_t>& zip) {
  size_t eocd = zip.size() - 22;
  while (Le(zip, eocd, 4) != 0x06054b50) {
    if (eocd == 0) throw std::runtime_error("no end of central directory");
    eocd--;
  }
  size_t count = Le(zip, eocd + 10, 2);
  size_t at = Le(zip, eocd + 16, 4);
  std::vector<Entry> entries;
  for (size_t i = 0; i < count; i++) {
    Entry e;
    e.flags = static_cast<uint16_t>(Le(zip, at + 8, 2));
    e.method = static_cast<uint16_t>(Le(zip, at + 10, 2));
    e.crc = Le(zip, at + 16, 4);
    e.compressedSize = Le(zip, at + 20, 4);
    e.uncompressedSize = Le(zip, at + 24, 4);
    size_t nameLen = Le(zip, at + 28, 2), extraLen = Le(zip, at + 30, 2), commentLen = Le(zip, at + 32, 2);
    size_t local = Le(zip, at + 42, 4);
    e.name.assign(reinterpret_cast<const char*>(&zip.at(at + 46)), nameLen);
    e.dataOffset = local + 30 + Le(zip, local + 26, 2) + Le(zip, local + 28, 2);
    entries.push_back(e);
    at += 46 + nameLen + extraLen + commentLen;
  }
  return entries;
}

class MemorySource : public codecs::ByteSource {
 public:
  MemorySource(const uint8_t* data, size_t size) : data_(data), left_(size) {}
  size_t Read(uint8_t* buffer, size_t capacity) override {
    size_t n = std::min(capacity, left_);
    std::memcpy(buffer, data_, n);
    data_ += n;
    left_ -= n;
    return n;
  }

 private:
  const uint8_t* data_;
  size_t left_;
};

class CrcSink : public codecs::ByteSink {
 public:
  void Write(const uint8_t* data, size_t size) override {
    crc = static_cast<uint32_t>(crc32(crc, data, static_cast<uInt>(size)));
    total += size;
  }
  uint32_t crc = 0;
  uint64_t total = 0;
};

}  // namespace

int main(int argc, char** argv) {
  int repeat = 3;
  int first = 1;
  if (argc > 2 && std::strcmp(argv[1], "--repeat") == 0) {
    repeat = std::atoi(argv[2]);
    first = 3;
  }
  int failures = 0;
  for (int a = first; a < argc; a++) {
    std::ifstream f(argv[a], std::ios::binary);
    std::vector<uint8_t> zip((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    for (const Entry& e : ReadEntries(zip)) {
      std::unique_ptr<codecs::Decoder> decoder;
      if (e.method == 14) decoder = codecs::MakeLzmaDecoder();
      if (e.method == 98) decoder = codecs::MakePpmdDecoder();
      if (!decoder) continue;
      double best = 1e30;
      bool ok = true;
      std::string error;
      for (int r = 0; r < repeat; r++) {
        MemorySource source(zip.data() + e.dataOffset, e.compressedSize);
        CrcSink sink;
        codecs::EntryParameters params;
        params.uncompressedSize = e.uncompressedSize;
        params.generalPurposeFlags = e.flags;
        std::clock_t t0 = std::clock();
        try {
          decoder->Decode(source, sink, params);
        } catch (const std::exception& ex) {
          ok = false;
          error = ex.what();
          break;
        }
        double t = static_cast<double>(std::clock() - t0) / CLOCKS_PER_SEC;
        best = std::min(best, t);
        if (sink.crc != e.crc || sink.total != e.uncompressedSize) ok = false;
      }
      if (!ok) failures++;
      std::printf("%s\t%s\tmethod %u\t%llu -> %llu\t%.3f s\t%.1f MB/s\t%s %s\n", argv[a], e.name.c_str(), e.method,
                  static_cast<unsigned long long>(e.compressedSize),
                  static_cast<unsigned long long>(e.uncompressedSize), ok ? best : 0.0,
                  ok ? static_cast<double>(e.uncompressedSize) / best / 1e6 : 0.0, ok ? "ok" : "FAILED",
                  error.c_str());
    }
  }
  return failures == 0 ? 0 : 1;
}
