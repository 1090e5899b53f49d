#pragma once
// Table-driven decoding of the Huffman codes of enhanced deflated data. Codes
// are read least significant bit first; a primary table indexed by the next
// few bits resolves short codes at once and points to a subtable for longer
// ones.
#include <cstddef>
#include <cstdint>

namespace codecs::deflate64 {

// A table entry: the number of bits to consume in the low byte, the number of
// extra bits that follow the code (or the index bits of a subtable), flags,
// and a 16-bit value (a literal byte, a base length or distance, a precode
// symbol, or the start of a subtable).
namespace entry {
constexpr uint32_t kConsumeMask = 0xff;
constexpr unsigned kExtraShift = 8;
constexpr uint32_t kExtraMask = 0x1f;
constexpr uint32_t kLiteral = 1u << 13;
constexpr uint32_t kSubtable = 1u << 14;
constexpr uint32_t kSpecial = 1u << 15;  // end of block, or a code that must not occur
constexpr unsigned kValueShift = 16;
constexpr uint32_t kEndOfBlock = kSpecial;
constexpr uint32_t kInvalid = kSpecial | (1u << kValueShift);

constexpr uint32_t Make(uint32_t value, uint32_t extra_bits, uint32_t flags = 0) {
  return value << kValueShift | extra_bits << kExtraShift | flags;
}
}  // namespace entry

constexpr unsigned kMaxCodeLength = 15;

// Primary index bits and table sizes. A subtable needs at most
// 2^(15 - primary bits) entries, and there is at most one per symbol.
constexpr unsigned kLitLenPrimaryBits = 10;
constexpr unsigned kDistPrimaryBits = 8;
constexpr unsigned kPrecodePrimaryBits = 7;
constexpr size_t kMaxLitLenSymbols = 288;
constexpr size_t kMaxDistSymbols = 32;
constexpr size_t kPrecodeSymbols = 19;
constexpr size_t kLitLenTableSize =
    (size_t{1} << kLitLenPrimaryBits) + kMaxLitLenSymbols * (size_t{1} << (kMaxCodeLength - kLitLenPrimaryBits));
constexpr size_t kDistTableSize =
    (size_t{1} << kDistPrimaryBits) + kMaxDistSymbols * (size_t{1} << (kMaxCodeLength - kDistPrimaryBits));
constexpr size_t kPrecodeTableSize = size_t{1} << kPrecodePrimaryBits;  // codes are at most 7 bits

// Fills `table` from the code lengths of `count` symbols; symbol s decodes to
// symbol_entries[s] with its code length added. Throws DecodeError when the
// lengths are over-subscribed. Bit patterns that an incomplete set of lengths
// leaves unused decode to entry::kInvalid.
void BuildTable(const uint8_t* lengths, size_t count, const uint32_t* symbol_entries,
                unsigned primary_bits, uint32_t* table, size_t table_size);

}  // namespace codecs::deflate64
