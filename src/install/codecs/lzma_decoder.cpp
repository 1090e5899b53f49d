// ZIP method 14: a small header (the encoder's version, the size of the
// properties, the properties), then one raw LZMA stream. General purpose
// bit 1 tells that the stream closes with an end marker.
#include <cstdint>
#include <memory>

#include "install/codecs/factories.h"
#include "install/codecs/lzma_stream.h"
#include "install/codecs/range_input.h"

namespace codecs {
namespace {

constexpr uint16_t kEndMarkerFlag = 1u << 1;

class LzmaDecoder : public Decoder {
 public:
  void Decode(ByteSource& in, ByteSink& out, const EntryParameters& entry) override {
    const bool endMarker = (entry.generalPurposeFlags & kEndMarkerFlag) != 0;
    // An empty entry without end marker needs nothing of its data.
    if (entry.uncompressedSize == 0 && !endMarker) return;
    RangeInput input(in);
    input.Byte();  // version of the encoder, major
    input.Byte();  // and minor: neither matters for decoding
    unsigned propertiesSize = input.Byte();
    propertiesSize |= static_cast<unsigned>(input.Byte()) << 8;
    if (propertiesSize != 5) throw DecodeError("LZMA entry with unexpected properties size");
    uint8_t properties[5];
    for (uint8_t& b : properties) b = input.Byte();
    LzmaStream stream(ParseLzmaProperties(properties), entry.uncompressedSize, endMarker);
    stream.Decode(input, out);
  }
};

}  // namespace

std::unique_ptr<Decoder> MakeLzmaDecoder() { return std::make_unique<LzmaDecoder>(); }

}  // namespace codecs
