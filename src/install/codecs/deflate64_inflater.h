#pragma once
// Decodes one enhanced deflated (Deflate64) stream: stored, fixed-code and
// dynamic-code blocks up to the final block. Decoded bytes collect behind a
// 64 KiB history in one buffer and go to the sink in large pieces; the
// buffer's size does not depend on the entry.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "install/codecs/bit_input.h"
#include "install/codecs/decoder.h"
#include "install/codecs/deflate64_huffman.h"
#include "install/codecs/deflate64_symbols.h"

namespace codecs::deflate64 {

class Inflater {
 public:
  Inflater(ByteSource& source, ByteSink& sink);
  void Run();

 private:
  // Output buffer: history, then the piece being produced, then room for the
  // longest match and for word-wise copies that run a few bytes over.
  static constexpr size_t kPieceSize = 256 * 1024;
  static constexpr size_t kCopySlack = 32;
  static constexpr size_t kBufferSize = kWindowSize + kPieceSize + kMaxMatchLength + kCopySlack;

  uint32_t TakeBits(unsigned count);
  void EnsureBits(unsigned count);
  void ReadStoredBlock();
  void UseFixedCodes();
  void ReadDynamicCodes();
  void DecodeCompressedBlock();
  void Flush();

  ByteSink& sink_;
  BitInput input_;
  // Bit reader state: bits_ holds count_ unread bits, lowest first; in_ is the
  // next byte of input_ not yet in bits_.
  uint64_t bits_ = 0;
  unsigned count_ = 0;
  const uint8_t* in_;

  std::unique_ptr<uint8_t[]> buffer_;
  uint8_t* out_;               // next byte to produce
  const uint8_t* history_;     // oldest byte a match may reach
  bool fixed_codes_loaded_ = false;
  std::unique_ptr<uint32_t[]> litlen_table_;
  std::unique_ptr<uint32_t[]> dist_table_;
};

}  // namespace codecs::deflate64
