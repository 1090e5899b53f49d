#include "install/codecs/bzip2_crc.h"

#include <array>

namespace codecs::bzip2 {
namespace {

// kTables[k][b]: the CRC step of byte b followed by k zero bytes, so that
// eight bytes are taken in one step.
using Tables = std::array<std::array<uint32_t, 256>, 8>;

constexpr Tables MakeTables() {
  Tables t{};
  for (uint32_t b = 0; b < 256; ++b) {
    uint32_t c = b << 24;
    for (int i = 0; i < 8; ++i) c = (c & 0x80000000u) ? (c << 1) ^ 0x04c11db7u : c << 1;
    t[0][b] = c;
  }
  for (size_t k = 1; k < 8; ++k)
    for (uint32_t b = 0; b < 256; ++b) t[k][b] = (t[k - 1][b] << 8) ^ t[0][t[k - 1][b] >> 24];
  return t;
}

constexpr Tables kTables = MakeTables();

inline uint32_t LoadBigEndian32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]};
}

}  // namespace

void BlockCrc::Update(const uint8_t* data, size_t size) {
  uint32_t c = state_;
  while (size >= 8) {
    const uint32_t a = c ^ LoadBigEndian32(data);
    const uint32_t b = LoadBigEndian32(data + 4);
    c = kTables[7][a >> 24] ^ kTables[6][(a >> 16) & 0xff] ^ kTables[5][(a >> 8) & 0xff] ^ kTables[4][a & 0xff] ^
        kTables[3][b >> 24] ^ kTables[2][(b >> 16) & 0xff] ^ kTables[1][(b >> 8) & 0xff] ^ kTables[0][b & 0xff];
    data += 8;
    size -= 8;
  }
  while (size-- > 0) c = (c << 8) ^ kTables[0][(c >> 24) ^ *data++];
  state_ = c;
}

}  // namespace codecs::bzip2
