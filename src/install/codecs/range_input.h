#pragma once
// Buffered reading of an entry's compressed bytes for the range decoders.
// The hot loops keep the current position and the end of the buffer in
// locals and come here only when the buffer is used up.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "install/codecs/decoder.h"

namespace codecs {

class RangeInput {
 public:
  struct Span {
    const uint8_t* cur;
    const uint8_t* end;
  };

  explicit RangeInput(ByteSource& source, size_t capacity = 64 * 1024);

  // The unread part of the buffer, possibly empty.
  Span Current() const { return {cur_, end_}; }
  // Records how far a hot loop has read in the span it was given.
  void Advance(const uint8_t* cur) { cur_ = cur; }

  // Takes back the position a hot loop has reached at the end of its span,
  // fills the buffer again and gives the new span, which has at least one
  // byte. Throws DecodeError when the entry's data has ended.
  Span Refill(const uint8_t* cur);

  // One byte outside the hot loops.
  uint8_t Byte() {
    if (cur_ == end_) Refill(cur_);
    return *cur_++;
  }
  // Whether the entry's data has ended (reads ahead if needed).
  bool AtEnd();

 private:
  bool Fill();

  ByteSource& source_;
  std::unique_ptr<uint8_t[]> buffer_;
  size_t capacity_;
  const uint8_t* cur_;
  const uint8_t* end_;
};

}  // namespace codecs
