// Fuzz target: the Deflate64 decoder (ZIP method 9) on any data.
//
// Input: four bytes of read piece sizes, then the entry's compressed data.
#include "decoder_harness.h"
#include "install/codecs/factories.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzing::InputReader in(data, size);
  const fuzzing::PieceSizes pieces = fuzzing::ReadPieceSizes(in);
  fuzzing::PieceSource source(in.Rest(), pieces);
  fuzzing::LimitedSink sink(4u << 20);
  const auto decoder = codecs::MakeDeflate64Decoder();
  fuzzing::RunDecoder(*decoder, source, sink, codecs::EntryParameters{});
  return 0;
}
