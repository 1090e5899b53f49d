#include "lzma_ppmd_samples.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include "install/codecs/factories.h"

namespace codecs_test {
namespace {

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) throw std::runtime_error("cannot read " + path);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

uint32_t NextRandom(uint32_t& state) {
  state = state * 1103515245u + 12345u;
  return state >> 8;
}

}  // namespace

std::string SamplesDir() { return LZMA_PPMD_SAMPLES_DIR; }

std::vector<Sample> ListSamples() {
  std::vector<Sample> samples;
  std::ifstream manifest(SamplesDir() + "/manifest.txt");
  std::string line;
  while (std::getline(manifest, line)) {
    std::istringstream fields(line);
    Sample s;
    unsigned method = 0, flags = 0;
    if (fields >> s.name >> method >> flags) {
      s.method = static_cast<uint16_t>(method);
      s.flags = static_cast<uint16_t>(flags);
      samples.push_back(s);
    }
  }
  return samples;
}

Sample LoadSample(const std::string& name) {
  for (Sample s : ListSamples()) {
    if (s.name != name) continue;
    s.data = ReadFile(SamplesDir() + "/" + name + ".data");
    s.expected = ReadFile(SamplesDir() + "/" + name + ".out");
    return s;
  }
  throw std::runtime_error("no sample " + name);
}

size_t ChunkedSource::Read(uint8_t* buffer, size_t capacity) {
  size_t piece = 1 + NextRandom(seed_) % 3000;
  size_t n = std::min({capacity, piece, data_.size() - at_});
  if (n != 0) std::memcpy(buffer, data_.data() + at_, n);
  at_ += n;
  return n;
}

DecodeResult DecodeWith(uint16_t method, const std::vector<uint8_t>& data, uint64_t uncompressedSize,
                        uint16_t flags) {
  std::unique_ptr<codecs::Decoder> decoder =
      method == 14 ? codecs::MakeLzmaDecoder() : codecs::MakePpmdDecoder();
  ChunkedSource source(data, static_cast<uint32_t>(data.size()));
  VectorSink sink;
  codecs::EntryParameters entry;
  entry.uncompressedSize = uncompressedSize;
  entry.generalPurposeFlags = flags;
  DecodeResult result;
  try {
    decoder->Decode(source, sink, entry);
  } catch (const codecs::DecodeError& e) {
    result.failed = true;
    result.error = e.what();
  }
  result.output = std::move(sink.bytes);
  return result;
}

std::vector<Damage> DamagedVersions(const std::vector<uint8_t>& data, size_t headerSize, uint32_t seed) {
  std::vector<Damage> out;
  const size_t n = data.size();
  // Single flipped bits, in the header, early, in the middle and near the end.
  for (size_t at : {size_t{0}, size_t{2}, headerSize, headerSize + 1, headerSize + 7, n / 3, n / 2, n - 2, n - 1}) {
    if (at >= n) continue;
    for (unsigned bit : {0u, 5u, 7u}) {
      Damage d{"bit " + std::to_string(bit) + " of byte " + std::to_string(at) + " flipped", data};
      d.data[at] = static_cast<uint8_t>(d.data[at] ^ (1u << bit));
      out.push_back(std::move(d));
    }
  }
  // Cut short.
  for (size_t keep : {size_t{0}, size_t{1}, headerSize, headerSize + 3, n / 4, n / 2, n - 5, n - 1}) {
    if (keep >= n) continue;
    out.push_back({"cut to " + std::to_string(keep) + " bytes", std::vector<uint8_t>(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(keep))});
  }
  // The header, then garbage.
  for (int round = 0; round < 4; round++) {
    Damage d{"garbage after the header, round " + std::to_string(round), data};
    for (size_t i = std::min(headerSize, n); i < n; i++) d.data[i] = static_cast<uint8_t>(NextRandom(seed));
    out.push_back(std::move(d));
  }
  // A burst of zeros or ones in the middle.
  for (uint8_t fill : {uint8_t{0x00}, uint8_t{0xFF}}) {
    Damage d{"burst of " + std::to_string(fill) + " in the middle", data};
    for (size_t i = n / 2; i < std::min(n, n / 2 + 16); i++) d.data[i] = fill;
    out.push_back(std::move(d));
  }
  return out;
}

}  // namespace codecs_test
