#pragma once
// The CRC of bzip2 blocks: CRC-32 with polynomial 0x04C11DB7, most
// significant bit first, starting from and finished with all ones.
#include <cstddef>
#include <cstdint>

namespace codecs::bzip2 {

class BlockCrc {
 public:
  void Update(const uint8_t* data, size_t size);
  uint32_t Value() const { return ~state_; }

 private:
  uint32_t state_ = 0xffffffffu;
};

}  // namespace codecs::bzip2
