#pragma once
// Decodes bzip2 data: one or more streams, each "BZh" with a block size
// digit, then blocks and an end marker with the CRC of the whole stream.
// Every block's CRC and every stream's CRC is checked.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "install/codecs/bit_input.h"
#include "install/codecs/bzip2_bit_reader.h"
#include "install/codecs/bzip2_block_symbols.h"
#include "install/codecs/bzip2_inverse_bwt.h"
#include "install/codecs/decoder.h"

namespace codecs::bzip2 {

class Bunzip2 {
 public:
  Bunzip2(ByteSource& source, ByteSink& sink);
  void Run();

 private:
  static constexpr size_t kOutputSize = 256 * 1024;

  // Reads the header of a further stream; false when there is none.
  bool ReadStreamHeader(bool first);
  void DecodeStream();
  uint32_t DecodeBlock();  // returns the block's CRC
  void FlushOutput();

  ByteSink& sink_;
  BitInput input_;
  BitReader reader_;
  uint32_t max_block_size_ = 0;
  std::unique_ptr<uint32_t[]> words_;
  uint32_t words_capacity_ = 0;
  std::unique_ptr<BlockSymbolReader> symbols_;
  std::unique_ptr<InverseBwt> bwt_;
  std::unique_ptr<uint8_t[]> output_;
  uint8_t* out_;
};

}  // namespace codecs::bzip2
