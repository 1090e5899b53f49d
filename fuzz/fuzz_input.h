#pragma once
// Parameters read from the front of a fuzzer input, the rest taken as data.
// Past the end of the input every value reads as 0, so that every input can
// be used.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace fuzzing {

class InputReader {
 public:
  InputReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  // Multi-byte values little-endian; each byte is read in its own statement
  // because the operands of | are not evaluated in a fixed order.
  uint16_t Le16() {
    const unsigned low = Byte();
    return static_cast<uint16_t>(low | (Byte() << 8));
  }
  uint32_t Le32() {
    const uint32_t low = Le16();
    return low | (static_cast<uint32_t>(Le16()) << 16);
  }
  uint64_t Le64() {
    const uint64_t low = Le32();
    return low | (static_cast<uint64_t>(Le32()) << 32);
  }
  // A value in [0, bound); bound must not be 0.
  uint32_t Below(uint32_t bound) { return bound <= 256 ? Byte() % bound : Le32() % bound; }
  bool Bit() { return (Byte() & 1) != 0; }

  // Up to `n` bytes, fewer at the end of the input.
  std::string_view Take(size_t n) {
    const size_t k = std::min(n, Left());
    std::string_view piece(reinterpret_cast<const char*>(data_ + at_), k);
    at_ += k;
    return piece;
  }
  std::string_view Rest() { return Take(Left()); }
  size_t Left() const { return size_ - at_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

// Sizes of pieces that add up to `total`, cut at up to `maxCuts` points read
// from `params` (each a position in the data, in any order).
inline std::vector<size_t> CutPieces(InputReader& params, size_t total, size_t maxCuts) {
  std::vector<size_t> cuts;
  const size_t count = params.Byte() % (maxCuts + 1);
  for (size_t i = 0; i < count; ++i) cuts.push_back(total == 0 ? 0 : params.Le16() % (total + 1));
  cuts.push_back(0);
  cuts.push_back(total);
  std::sort(cuts.begin(), cuts.end());
  std::vector<size_t> pieces;
  for (size_t i = 1; i < cuts.size(); ++i) pieces.push_back(cuts[i] - cuts[i - 1]);
  return pieces;
}

}  // namespace fuzzing
