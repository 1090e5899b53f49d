#pragma once
// The samples that lzma_ppmd_samples.py makes with independent encoders
// (liblzma through Python, 7-Zip), and the sources and sinks the decoder
// tests feed them through.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "install/codecs/decoder.h"

namespace codecs_test {

struct Sample {
  std::string name;
  uint16_t method = 0;
  uint16_t flags = 0;
  std::vector<uint8_t> data;      // the entry's compressed data
  std::vector<uint8_t> expected;  // what it decodes to
};

// Every sample of the manifest (names, method and flags only; data and
// expected are empty). Empty when the samples have not been made.
std::vector<Sample> ListSamples();
// One sample with its files loaded.
Sample LoadSample(const std::string& name);
std::string SamplesDir();

// Hands out its bytes in pieces of changing size, as a file read would at
// buffer edges, then 0.
class ChunkedSource : public codecs::ByteSource {
 public:
  explicit ChunkedSource(std::vector<uint8_t> data, uint32_t seed = 1) : data_(std::move(data)), seed_(seed) {}
  size_t Read(uint8_t* buffer, size_t capacity) override;
  size_t Consumed() const { return at_; }

 private:
  std::vector<uint8_t> data_;
  size_t at_ = 0;
  uint32_t seed_;
};

class VectorSink : public codecs::ByteSink {
 public:
  void Write(const uint8_t* data, size_t size) override { bytes.insert(bytes.end(), data, data + size); }
  std::vector<uint8_t> bytes;
};

struct DecodeResult {
  bool failed = false;  // DecodeError
  std::string error;
  std::vector<uint8_t> output;
};

// Runs the method's decoder over data; only DecodeError is caught.
DecodeResult DecodeWith(uint16_t method, const std::vector<uint8_t>& data, uint64_t uncompressedSize,
                        uint16_t flags);

// Damaged versions of an entry's data, each with a short description.
struct Damage {
  std::string what;
  std::vector<uint8_t> data;
};
std::vector<Damage> DamagedVersions(const std::vector<uint8_t>& data, size_t headerSize, uint32_t seed);

}  // namespace codecs_test
