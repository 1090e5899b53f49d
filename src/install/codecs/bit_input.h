#pragma once
// Buffered compressed bytes for the bit readers of the decoders. The bytes are
// read from the source in large pieces; after the last one the buffer holds a
// run of zero bytes, so that a reader may load whole 64-bit words without
// checking every byte. A reader that runs deep into those zeros has met data
// that was cut short.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "install/codecs/decoder.h"

namespace codecs {

class BitInput {
 public:
  static constexpr size_t kCapacity = 64 * 1024;
  // Zero bytes after the end of the data; words may be loaded up to here.
  static constexpr size_t kPadding = 32;

  explicit BitInput(ByteSource& source);
  BitInput(const BitInput&) = delete;
  BitInput& operator=(const BitInput&) = delete;

  // The read position of a reader that has not read anything yet.
  const uint8_t* Begin() const { return buffer_.get(); }

  // While a read position is at or before Limit(), the 8 bytes from it may be
  // loaded (real data or padding zeros).
  const uint8_t* Limit() const { return limit_; }

  // Called with a read position past Limit(): moves the unread bytes to the
  // front, reads more from the source and returns the new position of the
  // same byte. Throws DecodeError when the position is already deep in the
  // padding, that is, the data is cut short.
  const uint8_t* Refill(const uint8_t* position);

  // Offset in the entry's data of a read position, and whether all data has
  // been read into the buffer (EndOffset() is then the data's size).
  uint64_t Offset(const uint8_t* position) const {
    return base_offset_ + static_cast<uint64_t>(position - buffer_.get());
  }
  bool SourceDone() const { return source_done_; }
  uint64_t EndOffset() const { return Offset(end_); }

  // Real data bytes from a position to the end of what is buffered.
  size_t Available(const uint8_t* position) const {
    return position < end_ ? static_cast<size_t>(end_ - position) : 0;
  }

  // Throws DecodeError when a reader that has consumed data up to the given
  // bit position (counted from the start of the entry's data) has read past
  // the end of the real data.
  void CheckConsumed(uint64_t consumed_bits) const;

 private:
  ByteSource& source_;
  std::unique_ptr<uint8_t[]> buffer_;  // kCapacity + kPadding bytes
  uint8_t* end_;                       // end of the real bytes
  const uint8_t* limit_;
  uint64_t base_offset_ = 0;  // offset of buffer_[0] in the entry's data
  bool source_done_ = false;
};

// Loads 8 bytes in little-endian and big-endian order.
inline uint64_t LoadLittleEndian64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
  return v;
}

inline uint64_t LoadBigEndian64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
  return v;
}

}  // namespace codecs
