#include "install/codecs/range_input.h"

namespace codecs {

RangeInput::RangeInput(ByteSource& source, size_t capacity)
    : source_(source),
      buffer_(new uint8_t[capacity]),
      capacity_(capacity),
      cur_(buffer_.get()),
      end_(buffer_.get()) {}

bool RangeInput::Fill() {
  size_t got = source_.Read(buffer_.get(), capacity_);
  if (got > capacity_) throw DecodeError("compressed data source overran its buffer");
  cur_ = buffer_.get();
  end_ = cur_ + got;
  return got != 0;
}

RangeInput::Span RangeInput::Refill(const uint8_t* cur) {
  cur_ = cur;
  if (cur_ == end_ && !Fill()) throw DecodeError("compressed data ends too early");
  return {cur_, end_};
}

bool RangeInput::AtEnd() { return cur_ == end_ && !Fill(); }

}  // namespace codecs
