#pragma once
// Reads the coded part of a bzip2 block: the map of the byte values in use,
// the Huffman tables, the selectors, and the Huffman-coded move-to-front and
// zero-run symbols up to the end-of-block symbol. The result is the block's
// bytes after the Burrows-Wheeler transform, one per 32-bit word (low byte).
#include <array>
#include <cstdint>

#include "install/codecs/bzip2_bit_reader.h"
#include "install/codecs/bzip2_huffman.h"

namespace codecs::bzip2 {

struct BlockBytes {
  uint32_t size = 0;
  std::array<uint32_t, 256> counts{};  // how often each byte value occurs
};

class BlockSymbolReader {
 public:
  // Reads into words[0 .. max_size). Throws DecodeError on damaged data or a
  // block longer than max_size.
  BlockBytes Read(BitReader& reader, uint32_t* words, uint32_t max_size);

 private:
  static constexpr unsigned kMaxGroups = 6;
  static constexpr unsigned kGroupSize = 50;
  static constexpr uint32_t kMaxSelectors = 900000 / kGroupSize + 2;

  uint32_t ReadSymbolMap(BitReader& reader);
  void ReadSelectors(BitReader& reader);
  void ReadTables(BitReader& reader, uint32_t alphabet_size);
  BlockBytes ReadSymbols(BitReader& reader, uint32_t* words, uint32_t max_size);

  std::array<uint8_t, 256> used_bytes_;  // byte values in use, ascending
  uint32_t used_count_ = 0;
  unsigned group_count_ = 0;
  uint32_t selector_count_ = 0;
  std::array<uint8_t, kMaxSelectors> selectors_;
  std::array<HuffmanTable, kMaxGroups> tables_;
};

}  // namespace codecs::bzip2
