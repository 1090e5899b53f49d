#include "install/codecs/bzip2_block_symbols.h"

#include <algorithm>
#include <cstring>

#include "install/codecs/decoder.h"

namespace codecs::bzip2 {

BlockBytes BlockSymbolReader::Read(BitReader& reader, uint32_t* words, uint32_t max_size) {
  const uint32_t alphabet_size = ReadSymbolMap(reader) + 2;
  group_count_ = reader.Take(3);
  if (group_count_ < 2 || group_count_ > kMaxGroups) throw DecodeError("bad number of Huffman tables");
  ReadSelectors(reader);
  ReadTables(reader, alphabet_size);
  return ReadSymbols(reader, words, max_size);
}

uint32_t BlockSymbolReader::ReadSymbolMap(BitReader& reader) {
  used_count_ = 0;
  const uint32_t ranges = reader.Take(16);
  for (uint32_t range = 0; range < 16; ++range) {
    if ((ranges & (0x8000u >> range)) == 0) continue;
    const uint32_t bytes = reader.Take(16);
    for (uint32_t i = 0; i < 16; ++i)
      if (bytes & (0x8000u >> i)) used_bytes_[used_count_++] = static_cast<uint8_t>(range * 16 + i);
  }
  if (used_count_ == 0) throw DecodeError("block uses no byte values");
  return used_count_;
}

void BlockSymbolReader::ReadSelectors(BitReader& reader) {
  const uint32_t count = reader.Take(15);
  if (count == 0) throw DecodeError("block has no selectors");
  // Selectors are move-to-front coded in unary. Only as many as the largest
  // block can use are kept; the rest are read and dropped.
  uint8_t order[kMaxGroups] = {0, 1, 2, 3, 4, 5};
  for (uint32_t i = 0; i < count; ++i) {
    unsigned position = 0;
    while (reader.Take(1)) {
      if (++position >= group_count_) throw DecodeError("bad selector");
    }
    const uint8_t group = order[position];
    for (; position > 0; --position) order[position] = order[position - 1];
    order[0] = group;
    if (i < kMaxSelectors) selectors_[i] = group;
  }
  selector_count_ = std::min(count, kMaxSelectors);
}

void BlockSymbolReader::ReadTables(BitReader& reader, uint32_t alphabet_size) {
  uint8_t lengths[kMaxAlphabetSize];
  for (unsigned t = 0; t < group_count_; ++t) {
    // Code lengths are delta coded: a start value, then per symbol a series
    // of "1, up or down" steps ended by a 0.
    int length = static_cast<int>(reader.Take(5));
    for (uint32_t s = 0; s < alphabet_size; ++s) {
      for (;;) {
        if (length < 1 || length > static_cast<int>(kMaxCodeLength)) throw DecodeError("bad Huffman code length");
        if (reader.Take(1) == 0) break;
        length += reader.Take(1) ? -1 : 1;
      }
      lengths[s] = static_cast<uint8_t>(length);
    }
    tables_[t].Build(lengths, alphabet_size);
  }
}

BlockBytes BlockSymbolReader::ReadSymbols(BitReader& reader, uint32_t* words, uint32_t max_size) {
  BlockBytes result;
  uint8_t mtf[256];
  std::copy(used_bytes_.begin(), used_bytes_.begin() + used_count_, mtf);
  const uint32_t end_of_block = used_count_ + 1;

  uint64_t bits = reader.bits;
  unsigned count = reader.count;
  const uint8_t* in = reader.in;
  BitInput& input = *reader.input;
  const uint8_t* in_limit = input.Limit();

  uint32_t size = 0;
  uint32_t run = 0;        // pending zero run: copies of the front byte
  unsigned run_shift = 0;  // weight of the next RUNA/RUNB digit
  uint32_t group = 0;
  unsigned left_in_group = 0;
  const HuffmanTable* table = nullptr;
  for (;;) {
    if (left_in_group == 0) {
      if (group >= selector_count_) throw DecodeError("block runs past its selectors");
      table = &tables_[selectors_[group++]];
      left_in_group = kGroupSize;
    }
    --left_in_group;
    if (count < kMaxCodeLength) {
      if (in > in_limit) {
        in = input.Refill(in);
        in_limit = input.Limit();
      }
      bits |= LoadBigEndian64(in) >> count;
      in += (63 - count) >> 3;
      count |= 56;
    }
    unsigned length;
    const uint32_t symbol = table->Decode(static_cast<uint32_t>(bits >> 32), length);
    bits <<= length;
    count -= length;

    if (symbol < 2) {  // RUNA or RUNB: a digit of the run length in bijective base 2
      run += (symbol + 1) << run_shift;
      ++run_shift;
      if (run > max_size) throw DecodeError("block too long");
      continue;
    }
    if (run != 0) {
      if (run > max_size - size) throw DecodeError("block too long");
      const uint8_t byte = mtf[0];
      std::fill(words + size, words + size + run, uint32_t{byte});
      result.counts[byte] += run;
      size += run;
      run = 0;
      run_shift = 0;
    }
    if (symbol == end_of_block) break;
    if (size >= max_size) throw DecodeError("block too long");
    const uint32_t position = symbol - 1;
    const uint8_t byte = mtf[position];
    std::memmove(mtf + 1, mtf, position);
    mtf[0] = byte;
    words[size++] = byte;
    ++result.counts[byte];
  }

  reader.bits = bits;
  reader.count = count;
  reader.in = in;
  result.size = size;
  return result;
}

}  // namespace codecs::bzip2
