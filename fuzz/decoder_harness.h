#pragma once
// Running one of our decoders over fuzzer data: the compressed bytes come in
// pieces whose sizes cycle through a short list, as reads at buffer edges
// give them, and the decoded bytes are kept up to a limit.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "fuzz_input.h"
#include "install/codecs/decoder.h"

namespace fuzzing {

[[noreturn]] inline void Broken(const char* target, const char* what) {
  std::fprintf(stderr, "%s: %s\n", target, what);
  std::abort();
}

// Sizes of the pieces a source hands out, in turn.
struct PieceSizes {
  size_t sizes[4] = {};
};

// Piece sizes from 1 to 65026 bytes, read from four bytes.
inline PieceSizes ReadPieceSizes(InputReader& params) {
  PieceSizes p;
  for (size_t& piece : p.sizes) {
    const size_t b = params.Byte();
    piece = 1 + b * b;
  }
  return p;
}

class PieceSource final : public codecs::ByteSource {
 public:
  PieceSource(std::string_view data, const PieceSizes& pieces) : data_(data), pieces_(pieces) {}

  size_t Read(uint8_t* buffer, size_t capacity) override {
    // 0 means the end of the data, so a request for nothing cannot be answered.
    if (capacity == 0) Broken("decoder", "asked its source for 0 bytes");
    const size_t n = std::min({capacity, pieces_.sizes[next_++ % 4], data_.size() - at_});
    if (n != 0) std::memcpy(buffer, data_.data() + at_, n);
    at_ += n;
    return n;
  }

 private:
  std::string_view data_;
  PieceSizes pieces_;
  size_t at_ = 0;
  size_t next_ = 0;
};

// Raised by the sink when a decoder writes beyond the limit of a fuzz run;
// not a failure of the decoder.
struct OutputLimitReached {};

class LimitedSink final : public codecs::ByteSink {
 public:
  explicit LimitedSink(uint64_t limit) : limit_(limit) {}
  void Write(const uint8_t* data, size_t size) override {
    if (size > limit_ - bytes.size()) throw OutputLimitReached{};
    bytes.insert(bytes.end(), data, data + size);
  }
  std::vector<uint8_t> bytes;

 private:
  uint64_t limit_;
};

enum class DecodeEnd { kDone, kDecodeError, kLimit };

// Runs the decoder; exceptions other than DecodeError reach libFuzzer.
inline DecodeEnd RunDecoder(codecs::Decoder& decoder, codecs::ByteSource& in, LimitedSink& out,
                            const codecs::EntryParameters& entry) {
  try {
    decoder.Decode(in, out, entry);
    return DecodeEnd::kDone;
  } catch (const codecs::DecodeError&) {
    return DecodeEnd::kDecodeError;
  } catch (const OutputLimitReached&) {
    return DecodeEnd::kLimit;
  }
}

}  // namespace fuzzing
