#pragma once
// Decoding of one raw LZMA stream: the range-coded literals and matches
// that follow the properties, into a sliding window that is handed to the
// sink whenever it fills up.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "install/codecs/decoder.h"
#include "install/codecs/range_input.h"

namespace codecs {

struct LzmaProperties {
  unsigned literalContextBits = 3;   // lc, 0..8
  unsigned literalPositionBits = 0;  // lp, 0..4
  unsigned positionBits = 2;         // pb, 0..4
  uint32_t dictionarySize = 0;
};

// Reads the five property bytes (lc/lp/pb byte, then the little-endian
// dictionary size). Throws DecodeError for values outside the format or a
// dictionary larger than an entry may have.
LzmaProperties ParseLzmaProperties(const uint8_t bytes[5]);

class LzmaStream {
 public:
  // outputSize is the exact number of bytes the stream yields. With
  // endMarker the stream must close with the end marker right after them;
  // without it decoding stops once they are out.
  LzmaStream(const LzmaProperties& properties, uint64_t outputSize, bool endMarker);
  ~LzmaStream();
  LzmaStream(const LzmaStream&) = delete;
  LzmaStream& operator=(const LzmaStream&) = delete;

  void Decode(RangeInput& input, ByteSink& sink);

  // Bytes held for the window (for memory figures).
  size_t WindowSize() const { return windowSize_; }

 private:
  LzmaProperties properties_;
  uint64_t outputSize_;
  bool endMarker_;
  size_t windowSize_;
  std::unique_ptr<uint8_t, void (*)(void*)> window_;
  std::unique_ptr<uint16_t[]> probabilities_;
};

}  // namespace codecs
