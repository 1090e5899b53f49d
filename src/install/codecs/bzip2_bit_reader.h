#pragma once
// Reads bzip2 data bit by bit, most significant bit of each byte first. The
// unread bits stand left-aligned in a 64-bit word.
#include <cstdint>

#include "install/codecs/bit_input.h"

namespace codecs::bzip2 {

struct BitReader {
  explicit BitReader(BitInput& source) : input(&source), in(source.Begin()) {}

  // Tops the word up to at least 56 bits.
  void Refill() {
    if (in > input->Limit()) in = input->Refill(in);
    bits |= LoadBigEndian64(in) >> count;
    in += (63 - count) >> 3;
    count |= 56;
  }
  // Takes 1 to 32 bits.
  uint32_t Take(unsigned n) {
    if (count < n) Refill();
    const auto value = static_cast<uint32_t>(bits >> (64 - n));
    bits <<= n;
    count -= n;
    return value;
  }
  // Skips to the next byte boundary.
  void AlignToByte() {
    const unsigned partial = count & 7;
    bits <<= partial;
    count -= partial;
  }
  uint64_t ConsumedBits() const { return input->Offset(in) * 8 - count; }
  // True when every byte of the data has been read (the reader is on a byte
  // boundary).
  bool AtEndOfData() {
    Refill();
    return input->SourceDone() && ConsumedBits() >= input->EndOffset() * 8;
  }

  BitInput* input;
  uint64_t bits = 0;
  unsigned count = 0;
  const uint8_t* in;
};

}  // namespace codecs::bzip2
