#pragma once
// Writes enhanced deflated (Deflate64) data by hand, with the fixed codes and
// stored blocks, for what the encoders at hand never write: length code 285
// with its 16 extra bits, chosen distances, damaged blocks. Keeps the bytes
// the data decodes to alongside.
#include <cstdint>
#include <vector>

namespace codecs_test {

class Deflate64Writer {
 public:
  // Block headers. A block with the fixed codes ends with EndOfBlock().
  void FixedBlock(bool final) {
    Bits(final, 1);
    Bits(1, 2);
  }
  void StoredBlock(const std::vector<uint8_t>& bytes, bool final) {
    Bits(final, 1);
    Bits(0, 2);
    AlignToByte();
    Bits(static_cast<uint32_t>(bytes.size()), 16);
    Bits(static_cast<uint32_t>(~bytes.size() & 0xffff), 16);
    for (uint8_t b : bytes) Bits(b, 8);
    expected.insert(expected.end(), bytes.begin(), bytes.end());
  }

  void Literal(uint8_t byte) {
    Symbol(byte);
    expected.push_back(byte);
  }
  void EndOfBlock() { Symbol(256); }
  // A match; lengths above 257, or any length when asked, take code 285.
  void Match(uint32_t length, uint32_t distance, bool code_285 = false) {
    static constexpr uint32_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10,  11,  13,  15,  17,  19,  23, 27,
                                                 31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
    if (code_285 || length > 257) {
      Symbol(285);
      Bits(length - 3, 16);
    } else {
      unsigned code = 0;
      while (kLengthBase[code + 1] <= length) ++code;
      Symbol(257 + code);
      Bits(length - kLengthBase[code], code < 8 ? 0 : code / 4 - 1);
    }
    uint32_t base = 1;
    for (unsigned code = 0; code < 32; ++code) {
      const unsigned extra = code < 4 ? 0 : code / 2 - 1;
      if (distance < base + (1u << extra)) {
        Code(code, 5);
        Bits(distance - base, extra);
        break;
      }
      base += 1u << extra;
    }
    for (uint32_t i = 0; i < length; ++i) {
      // A distance that reaches before the start leaves expected as it is;
      // such data must fail anyway.
      if (distance > expected.size()) break;
      expected.push_back(expected[expected.size() - distance]);
    }
  }
  // A literal/length symbol of the fixed code, including the ones that must
  // not occur (286, 287).
  void Symbol(unsigned s) {
    if (s < 144) {
      Code(0x30 + s, 8);
    } else if (s < 256) {
      Code(0x190 + s - 144, 9);
    } else if (s < 280) {
      Code(s - 256, 7);
    } else {
      Code(0xc0 + s - 280, 8);
    }
  }

  // Raw header fields, least significant bit first; up to 64 bits.
  void Bits(uint64_t value, unsigned count) {
    for (unsigned i = 0; i < count; ++i) PutBit(static_cast<uint32_t>(value >> i) & 1);
  }
  // A Huffman code, most significant bit first.
  void Code(uint32_t code, unsigned length) {
    for (unsigned i = length; i-- > 0;) PutBit((code >> i) & 1);
  }
  void AlignToByte() {
    while (bit_count_ % 8 != 0) PutBit(0);
  }

  std::vector<uint8_t> data;
  std::vector<uint8_t> expected;

 private:
  void PutBit(uint32_t bit) {
    if (bit_count_ % 8 == 0) data.push_back(0);
    data.back() = static_cast<uint8_t>(data.back() | bit << (bit_count_ % 8));
    ++bit_count_;
  }
  uint64_t bit_count_ = 0;
};

}  // namespace codecs_test
