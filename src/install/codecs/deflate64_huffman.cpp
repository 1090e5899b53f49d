#include "install/codecs/deflate64_huffman.h"

#include <algorithm>
#include <array>

#include "install/codecs/decoder.h"

namespace codecs::deflate64 {
namespace {

uint32_t Reverse(uint32_t code, unsigned length) {
  uint32_t reversed = 0;
  for (unsigned i = 0; i < length; ++i) {
    reversed = (reversed << 1) | (code & 1);
    code >>= 1;
  }
  return reversed;
}

// Stores `value` at every index whose low `length` bits are `reversed_code`.
void Replicate(uint32_t* table, size_t size, uint32_t reversed_code, unsigned length, uint32_t value) {
  for (size_t i = reversed_code; i < size; i += size_t{1} << length) table[i] = value;
}

}  // namespace

void BuildTable(const uint8_t* lengths, size_t count, const uint32_t* symbol_entries,
                unsigned primary_bits, uint32_t* table, size_t table_size) {
  std::array<uint32_t, kMaxCodeLength + 1> per_length{};
  for (size_t s = 0; s < count; ++s) {
    if (lengths[s] > kMaxCodeLength) throw DecodeError("bad Huffman code length");
    ++per_length[lengths[s]];
  }
  int64_t left = 1;
  for (unsigned len = 1; len <= kMaxCodeLength; ++len) {
    left = left * 2 - per_length[len];
    if (left < 0) throw DecodeError("over-subscribed Huffman code");
  }

  // Canonical codes: shorter codes first, and within one length by symbol.
  std::array<uint32_t, kMaxCodeLength + 2> next_code{};
  uint32_t code = 0;
  per_length[0] = 0;
  for (unsigned len = 1; len <= kMaxCodeLength; ++len) {
    code = (code + per_length[len - 1]) << 1;
    next_code[len] = code;
  }
  std::array<uint32_t, kMaxLitLenSymbols> codes{};
  for (size_t s = 0; s < count; ++s)
    if (lengths[s] != 0) codes[s] = next_code[lengths[s]]++;

  const size_t primary_size = size_t{1} << primary_bits;
  std::fill(table, table + primary_size, entry::kInvalid);

  // Longest code under each primary prefix decides the size of its subtable.
  std::array<uint8_t, size_t{1} << kLitLenPrimaryBits> longest{};
  for (size_t s = 0; s < count; ++s) {
    const unsigned len = lengths[s];
    if (len > primary_bits) {
      const uint32_t prefix = Reverse(codes[s] >> (len - primary_bits), primary_bits);
      longest[prefix] = static_cast<uint8_t>(std::max<unsigned>(longest[prefix], len));
    }
  }

  size_t next_subtable = primary_size;
  for (size_t s = 0; s < count; ++s) {
    const unsigned len = lengths[s];
    if (len == 0) continue;
    const uint32_t value = symbol_entries[s] | len;
    if (len <= primary_bits) {
      Replicate(table, primary_size, Reverse(codes[s], len), len, value);
      continue;
    }
    const uint32_t prefix = Reverse(codes[s] >> (len - primary_bits), primary_bits);
    const unsigned sub_bits = longest[prefix] - primary_bits;
    if ((table[prefix] & entry::kSubtable) == 0) {
      const size_t sub_size = size_t{1} << sub_bits;
      if (next_subtable + sub_size > table_size) throw DecodeError("Huffman table too large");
      std::fill(table + next_subtable, table + next_subtable + sub_size, entry::kInvalid);
      table[prefix] = entry::Make(static_cast<uint32_t>(next_subtable), sub_bits, entry::kSubtable) | primary_bits;
      next_subtable += sub_size;
    }
    const size_t sub_start = table[prefix] >> entry::kValueShift;
    const unsigned rest = len - primary_bits;
    const uint32_t rest_code = Reverse(codes[s] & ((1u << rest) - 1), rest);
    Replicate(table + sub_start, size_t{1} << sub_bits, rest_code, rest, value);
  }
}

}  // namespace codecs::deflate64
