#pragma once
// What the literal/length and distance symbols of enhanced deflated data mean.
// It differs from plain deflate in the 64 KiB window, in length symbol 285
// (base 3 with 16 extra bits) and in distance symbols 30 and 31 (14 extra
// bits each).
#include <array>
#include <cstddef>
#include <cstdint>

#include "install/codecs/deflate64_huffman.h"

namespace codecs::deflate64 {

constexpr size_t kWindowSize = 64 * 1024;
constexpr uint32_t kMaxMatchLength = 3 + 0xffff;
constexpr size_t kEndOfBlockSymbol = 256;

struct SymbolTables {
  std::array<uint32_t, kMaxLitLenSymbols> litlen;
  std::array<uint32_t, kMaxDistSymbols> dist;
  std::array<uint32_t, kPrecodeSymbols> precode;
};

constexpr SymbolTables MakeSymbolTables() {
  constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                        31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 3};
  constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                        2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 16};
  SymbolTables t{};
  for (uint32_t s = 0; s < 256; ++s) t.litlen[s] = entry::Make(s, 0, entry::kLiteral);
  t.litlen[kEndOfBlockSymbol] = entry::kEndOfBlock;
  for (uint32_t i = 0; i < 29; ++i) t.litlen[257 + i] = entry::Make(kLengthBase[i], kLengthExtra[i]);
  t.litlen[286] = entry::kInvalid;
  t.litlen[287] = entry::kInvalid;
  uint32_t base = 1;
  for (uint32_t d = 0; d < kMaxDistSymbols; ++d) {
    const uint32_t extra = d < 4 ? 0 : d / 2 - 1;
    t.dist[d] = entry::Make(base, extra);
    base += 1u << extra;
  }
  for (uint32_t s = 0; s < kPrecodeSymbols; ++s) t.precode[s] = entry::Make(s, 0);
  return t;
}

inline constexpr SymbolTables kSymbols = MakeSymbolTables();

// Order in which the code lengths of the precode are stored.
inline constexpr std::array<uint8_t, kPrecodeSymbols> kPrecodeOrder = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                                      11, 4,  12, 3, 13, 2, 14, 1, 15};

}  // namespace codecs::deflate64
