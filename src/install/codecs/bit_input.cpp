#include "install/codecs/bit_input.h"

namespace codecs {

BitInput::BitInput(ByteSource& source)
    : source_(source), buffer_(new uint8_t[kCapacity + kPadding]) {
  end_ = buffer_.get();
  limit_ = end_;  // any position is past it: the first load refills
  Refill(end_);
}

const uint8_t* BitInput::Refill(const uint8_t* position) {
  uint8_t* const start = buffer_.get();
  if (source_done_) {
    // Everything is buffered; a word load is allowed while it stays inside
    // the padding, beyond that the reader is far past the end of the data.
    if (position > limit_) throw DecodeError("compressed data is cut short");
    return position;
  }
  const size_t kept = static_cast<size_t>(end_ - position);
  std::memmove(start, position, kept);
  base_offset_ += static_cast<uint64_t>(position - start);
  end_ = start + kept;
  while (end_ < start + kCapacity) {
    const size_t got = source_.Read(end_, static_cast<size_t>(start + kCapacity - end_));
    if (got == 0) {
      source_done_ = true;
      break;
    }
    end_ += got;
  }
  if (source_done_) {
    std::memset(end_, 0, kPadding);
    limit_ = end_ + kPadding - 8;
  } else {
    limit_ = end_ - 8;
  }
  return start;
}

void BitInput::CheckConsumed(uint64_t consumed_bits) const {
  if (consumed_bits > EndOffset() * 8) throw DecodeError("compressed data is cut short");
}

}  // namespace codecs
