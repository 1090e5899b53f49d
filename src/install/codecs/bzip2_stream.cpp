#include "install/codecs/bzip2_stream.h"

#include "install/codecs/bzip2_crc.h"

namespace codecs::bzip2 {
namespace {

constexpr uint64_t kBlockMagic = 0x314159265359;      // digits of pi
constexpr uint64_t kEndOfStreamMagic = 0x177245385090;  // square root of pi

}  // namespace

Bunzip2::Bunzip2(ByteSource& source, ByteSink& sink)
    : sink_(sink),
      input_(source),
      reader_(input_),
      symbols_(std::make_unique<BlockSymbolReader>()),
      output_(new uint8_t[kOutputSize]) {
  out_ = output_.get();
}

void Bunzip2::Run() {
  bool first = true;
  while (ReadStreamHeader(first)) {
    DecodeStream();
    first = false;
  }
  FlushOutput();
}

bool Bunzip2::ReadStreamHeader(bool first) {
  // Streams may follow one another. Anything after the last one that does
  // not start a stream is ignored, as the bzip2 tools do.
  if (!first && reader_.AtEndOfData()) return false;
  const uint32_t signature = reader_.Take(24);
  const uint32_t level = reader_.Take(8);
  const bool valid = signature == 0x425a68 && level >= '1' && level <= '9';  // "BZh1".."BZh9"
  if (!valid) {
    if (first) throw DecodeError("not bzip2 data");
    return false;
  }
  max_block_size_ = (level - '0') * 100000;
  if (words_capacity_ < max_block_size_) {
    words_.reset();
    bwt_.reset();
    words_.reset(new uint32_t[max_block_size_]);
    bwt_ = std::make_unique<InverseBwt>(max_block_size_);
    words_capacity_ = max_block_size_;
  }
  return true;
}

void Bunzip2::DecodeStream() {
  uint32_t combined = 0;
  for (;;) {
    const uint64_t magic = uint64_t{reader_.Take(24)} << 24 | reader_.Take(24);
    if (magic == kEndOfStreamMagic) break;
    if (magic != kBlockMagic) throw DecodeError("bad block header");
    combined = (combined << 1 | combined >> 31) ^ DecodeBlock();
  }
  if (reader_.Take(32) != combined) throw DecodeError("stream CRC mismatch");
  reader_.AlignToByte();
  // The zeros after the end of the data must not have completed the stream.
  input_.CheckConsumed(reader_.ConsumedBits());
}

uint32_t Bunzip2::DecodeBlock() {
  const uint32_t stored_crc = reader_.Take(32);
  if (reader_.Take(1)) throw DecodeError("randomised blocks are not supported");
  const uint32_t origin = reader_.Take(24);
  const BlockBytes block = symbols_->Read(reader_, words_.get(), max_block_size_);
  if (origin >= block.size) throw DecodeError("bad block origin");
  bwt_->Start(words_.get(), block.size, block.counts, origin);

  BlockCrc crc;
  const uint8_t* const end = output_.get() + kOutputSize;
  for (;;) {
    uint8_t* const start = out_;
    out_ = bwt_->Emit(out_, end);
    crc.Update(start, static_cast<size_t>(out_ - start));
    if (bwt_->Done()) break;
    FlushOutput();
  }
  if (crc.Value() != stored_crc) throw DecodeError("block CRC mismatch");
  return stored_crc;
}

void Bunzip2::FlushOutput() {
  if (out_ != output_.get()) sink_.Write(output_.get(), static_cast<size_t>(out_ - output_.get()));
  out_ = output_.get();
}

}  // namespace codecs::bzip2
