// Fuzz target: the LZMA decoder (ZIP method 14). The entry's data carries its
// own properties in its small header, as ZIP entries do; the declared size
// and the end-marker flag come from the input.
//
// Input: four bytes of read piece sizes, three bytes of uncompressed size,
// one byte of flags (bit 1: the general purpose flag of the end marker; bit
// 7: a declared size far beyond what a fuzz run decodes), then the entry's
// data.
#include "decoder_harness.h"
#include "install/codecs/factories.h"

namespace {

constexpr uint64_t kLimit = 4u << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzing::InputReader in(data, size);
  const fuzzing::PieceSizes pieces = fuzzing::ReadPieceSizes(in);
  codecs::EntryParameters entry;
  const uint32_t low = in.Le16();
  entry.uncompressedSize = (low | static_cast<uint32_t>(in.Byte()) << 16) % (kLimit + 1);
  const uint8_t flags = in.Byte();
  entry.generalPurposeFlags = flags & 0x0002;
  const bool huge = (flags & 0x80) != 0;
  if (huge) entry.uncompressedSize |= 1ull << 40;
  fuzzing::PieceSource source(in.Rest(), pieces);
  fuzzing::LimitedSink sink(huge ? kLimit : entry.uncompressedSize);
  const auto decoder = codecs::MakeLzmaDecoder();
  const fuzzing::DecodeEnd end = fuzzing::RunDecoder(*decoder, source, sink, entry);
  if (end == fuzzing::DecodeEnd::kLimit && !huge) fuzzing::Broken("lzma", "more output than the entry's size");
  if (end == fuzzing::DecodeEnd::kDone && sink.bytes.size() != entry.uncompressedSize) {
    fuzzing::Broken("lzma", "finished with another size than the entry's");
  }
  return 0;
}
