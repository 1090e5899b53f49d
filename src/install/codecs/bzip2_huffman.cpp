#include "install/codecs/bzip2_huffman.h"

#include <algorithm>
#include <array>

#include "install/codecs/decoder.h"

namespace codecs::bzip2 {

void HuffmanTable::Build(const uint8_t* lengths, size_t alphabet_size) {
  std::array<uint32_t, kMaxCodeLength + 1> per_length{};
  max_length_ = 0;
  for (size_t s = 0; s < alphabet_size; ++s) {
    ++per_length[lengths[s]];
    max_length_ = std::max<unsigned>(max_length_, lengths[s]);
  }
  // Sorted by code length, then by symbol: the order of the canonical codes.
  std::array<uint32_t, kMaxCodeLength + 2> start{};
  for (unsigned len = 1; len <= kMaxCodeLength; ++len) start[len + 1] = start[len] + per_length[len];
  {
    auto next = start;
    for (size_t s = 0; s < alphabet_size; ++s) sorted_[next[lengths[s]]++] = static_cast<uint16_t>(s);
  }

  std::fill(std::begin(fast_), std::end(fast_), uint16_t{0});
  uint64_t code = 0;  // first code of the current length
  for (unsigned len = 1; len <= kMaxCodeLength; ++len) {
    const uint64_t end = code + per_length[len];
    if (end > (uint64_t{1} << len)) throw DecodeError("over-subscribed Huffman code");
    limit_[len] = end << (32 - len);
    offset_[len] = static_cast<int32_t>(start[len]) - static_cast<int32_t>(code);
    if (len <= kFastBits) {
      for (uint64_t c = code; c < end; ++c) {
        const auto symbol = sorted_[start[len] + (c - code)];
        const auto e = static_cast<uint16_t>(unsigned{symbol} << 5 | len);
        const size_t first = static_cast<size_t>(c << (kFastBits - len));
        std::fill(fast_ + first, fast_ + first + (size_t{1} << (kFastBits - len)), e);
      }
    }
    code = end << 1;
  }
}

uint32_t HuffmanTable::DecodeLong(uint32_t window, unsigned& length) const {
  for (unsigned len = kFastBits + 1; len <= max_length_; ++len) {
    if (window < limit_[len]) {
      length = len;
      return sorted_[offset_[len] + static_cast<int32_t>(window >> (32 - len))];
    }
  }
  throw DecodeError("bad Huffman code");
}

}  // namespace codecs::bzip2
