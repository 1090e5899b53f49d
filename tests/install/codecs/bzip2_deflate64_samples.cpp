#include "bzip2_deflate64_samples.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace codecs_test {
namespace {

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary | std::ios::ate);
  if (!f) throw std::runtime_error("cannot read " + path);
  std::vector<uint8_t> bytes(static_cast<size_t>(f.tellg()));
  f.seekg(0);
  f.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

struct ManifestLine {
  std::string name;
  unsigned method = 0;
};

std::vector<ManifestLine> Manifest() {
  std::vector<ManifestLine> lines;
  std::ifstream manifest(std::string(BZIP2_DEFLATE64_SAMPLES_DIR) + "/manifest.txt");
  std::string text;
  while (std::getline(manifest, text)) {
    std::istringstream fields(text);
    ManifestLine line;
    if (fields >> line.name >> line.method) lines.push_back(line);
  }
  return lines;
}

uint32_t NextRandom(uint32_t& state) {
  state = state * 1103515245u + 12345u;
  return state >> 8;
}

class PieceSource final : public codecs::ByteSource {
 public:
  PieceSource(const std::vector<uint8_t>& data, uint32_t seed) : data_(data), seed_(seed) {}
  size_t Read(uint8_t* buffer, size_t capacity) override {
    if (at_ == data_.size()) {
      if (gave_end_) read_after_end = true;
      gave_end_ = true;
      return 0;
    }
    const size_t piece = 1 + NextRandom(seed_) % 5000;
    const size_t n = std::min({capacity, piece, data_.size() - at_});
    std::memcpy(buffer, data_.data() + at_, n);
    at_ += n;
    return n;
  }
  bool read_after_end = false;

 private:
  const std::vector<uint8_t>& data_;
  size_t at_ = 0;
  uint32_t seed_;
  bool gave_end_ = false;
};

class ComparingSink final : public codecs::ByteSink {
 public:
  explicit ComparingSink(const std::vector<uint8_t>* expected) : expected_(expected) {}
  void Write(const uint8_t* data, size_t size) override {
    if (expected_ && matches) {
      matches = size <= expected_->size() - total &&
                std::memcmp(data, expected_->data() + total, size) == 0;
    }
    total += size;
    if (writes++ > 0) smallest_before_last = std::min(smallest_before_last, last_size_);
    last_size_ = size;
  }
  uint64_t total = 0;
  bool matches = true;
  size_t writes = 0;
  size_t smallest_before_last = SIZE_MAX;

 private:
  const std::vector<uint8_t>* expected_;
  size_t last_size_ = 0;
};

}  // namespace

std::vector<std::string> ReferenceSampleNames(uint16_t method) {
  std::vector<std::string> names;
  for (const ManifestLine& line : Manifest())
    if (line.method == method) names.push_back(line.name);
  return names;
}

ReferenceSample LoadReferenceSample(const std::string& name) {
  for (const ManifestLine& line : Manifest()) {
    if (line.name != name) continue;
    const std::string base = std::string(BZIP2_DEFLATE64_SAMPLES_DIR) + "/" + name;
    return {name, static_cast<uint16_t>(line.method), ReadFile(base + ".data"), ReadFile(base + ".out")};
  }
  throw std::runtime_error("no sample " + name);
}

Outcome DecodeFed(const DecoderFactory& make, const std::vector<uint8_t>& data,
                  const std::vector<uint8_t>* expected, uint32_t seed) {
  PieceSource source(data, seed);
  ComparingSink sink(expected);
  Outcome outcome;
  try {
    make()->Decode(source, sink, codecs::EntryParameters{expected ? expected->size() : 0, 0});
  } catch (const codecs::DecodeError& e) {
    outcome.failed = true;
    outcome.error = e.what();
  }
  outcome.size = sink.total;
  outcome.matches = expected && sink.matches && sink.total == expected->size();
  outcome.smallest_write = sink.smallest_before_last;
  outcome.read_after_end = source.read_after_end;
  return outcome;
}

std::vector<Damaged> CutVersions(const std::vector<uint8_t>& data) {
  std::vector<Damaged> versions;
  for (size_t eighth = 0; eighth < 8; ++eighth) {
    const size_t size = data.size() * eighth / 8;
    versions.push_back({"cut to " + std::to_string(size) + " bytes",
                        std::vector<uint8_t>(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(size))});
  }
  if (!data.empty())
    versions.push_back({"last byte cut", std::vector<uint8_t>(data.begin(), data.end() - 1)});
  return versions;
}

std::vector<Damaged> FlippedVersions(const std::vector<uint8_t>& data, size_t count, uint32_t seed) {
  std::vector<Damaged> versions;
  for (size_t i = 0; i < count && !data.empty(); ++i) {
    // The first flips fall in the headers, the others anywhere.
    const size_t span = i < count / 4 ? std::min<size_t>(data.size(), 64) : data.size();
    const size_t at = NextRandom(seed) % span;
    const unsigned bit = NextRandom(seed) % 8;
    Damaged d{"bit " + std::to_string(bit) + " of byte " + std::to_string(at) + " flipped", data};
    d.data[at] = static_cast<uint8_t>(d.data[at] ^ (1u << bit));
    versions.push_back(std::move(d));
  }
  return versions;
}

std::vector<Damaged> GarbageVersions(const std::vector<uint8_t>& prefix, uint32_t seed) {
  std::vector<Damaged> versions;
  for (size_t size : {1u, 3u, 17u, 200u, 5000u, 70000u}) {
    Damaged d{"garbage of " + std::to_string(size) + " bytes after a valid start", prefix};
    for (size_t i = 0; i < size; ++i) d.data.push_back(static_cast<uint8_t>(NextRandom(seed)));
    versions.push_back(std::move(d));
  }
  return versions;
}

}  // namespace codecs_test
