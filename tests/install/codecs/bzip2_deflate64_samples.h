#pragma once
// The bzip2 and Deflate64 samples that bzip2_deflate64_samples.py makes with
// independent encoders, and the source and sink the decoder tests feed them
// through.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "install/codecs/decoder.h"

namespace codecs_test {

struct ReferenceSample {
  std::string name;
  uint16_t method = 0;
  std::vector<uint8_t> data;      // the entry's compressed data
  std::vector<uint8_t> expected;  // what it decodes to
};

// The names of every sample of a method; empty when the samples were not made.
std::vector<std::string> ReferenceSampleNames(uint16_t method);
ReferenceSample LoadReferenceSample(const std::string& name);

using DecoderFactory = std::function<std::unique_ptr<codecs::Decoder>()>;

struct Outcome {
  bool failed = false;  // DecodeError
  std::string error;
  uint64_t size = 0;          // decoded bytes
  bool matches = false;       // equal to the expected bytes, when given
  size_t smallest_write = 0;  // of all writes but the last
  bool read_after_end = false;  // the source was read again after it gave 0
};

// Decodes `data`, handing it out in pieces of changing size as a file read
// would. Only DecodeError is caught. The output is compared with `expected`
// as it comes, not kept.
Outcome DecodeFed(const DecoderFactory& make, const std::vector<uint8_t>& data,
                  const std::vector<uint8_t>* expected = nullptr, uint32_t seed = 1);

// Damaged versions of compressed data: cut at every eighth of its length and
// by its last byte; with single bits flipped (a quarter of them in the first
// 64 bytes); random bytes after a given start.
struct Damaged {
  std::string what;
  std::vector<uint8_t> data;
};
std::vector<Damaged> CutVersions(const std::vector<uint8_t>& data);
std::vector<Damaged> FlippedVersions(const std::vector<uint8_t>& data, size_t count, uint32_t seed);
std::vector<Damaged> GarbageVersions(const std::vector<uint8_t>& prefix, uint32_t seed);

}  // namespace codecs_test
