#pragma once
// One Huffman table of a bzip2 block. Codes are canonical and read most
// significant bit first; codes of up to kFastBits bits are resolved by one
// lookup, longer ones (up to 20 bits) by comparing against the first code of
// each length.
#include <cstddef>
#include <cstdint>

namespace codecs::bzip2 {

constexpr size_t kMaxAlphabetSize = 258;  // RUNA, RUNB, 255 move-to-front positions, end of block
constexpr unsigned kMaxCodeLength = 20;

class HuffmanTable {
 public:
  static constexpr unsigned kFastBits = 10;

  // Throws DecodeError for over-subscribed lengths. Lengths are 1..20.
  void Build(const uint8_t* lengths, size_t alphabet_size);

  // Decodes the symbol whose code starts at the top of `window` (the next 32
  // bits, most significant first) and sets `length` to its code length.
  // Throws DecodeError for a bit pattern that is no code.
  uint32_t Decode(uint32_t window, unsigned& length) const {
    const uint16_t e = fast_[window >> (32 - kFastBits)];
    if (e != 0) {
      length = e & 0x1f;
      return e >> 5;
    }
    return DecodeLong(window, length);
  }

 private:
  uint32_t DecodeLong(uint32_t window, unsigned& length) const;

  uint16_t fast_[1u << kFastBits];  // symbol << 5 | code length; 0 for longer codes
  // End of the codes of each length, left-aligned in 32 bits (as 64-bit values,
  // since a complete code ends at 2^32), and where each length's symbols
  // start in sorted_ minus its first code.
  uint64_t limit_[kMaxCodeLength + 1];
  int32_t offset_[kMaxCodeLength + 1];
  uint16_t sorted_[kMaxAlphabetSize];
  unsigned max_length_ = 0;
};

}  // namespace codecs::bzip2
