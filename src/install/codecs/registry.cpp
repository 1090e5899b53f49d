// Which compression methods the unzip component decodes. Every other method
// of an entry makes that entry fail.
#include "install/codecs/builtin_decoders.h"
#include "install/codecs/decoder.h"
#include "install/codecs/factories.h"

namespace codecs {

namespace {

enum Method : uint16_t {
  kStored = 0,
  kDeflated = 8,
  kDeflate64 = 9,
  kBzip2 = 12,
  kLzma = 14,
  kPpmd = 98,
};

}  // namespace

std::unique_ptr<Decoder> MakeDecoder(uint16_t method) {
  switch (method) {
    case kStored:
      return MakeStoredDecoder();
    case kDeflated:
      return MakeInflateDecoder();
    case kDeflate64:
      return MakeDeflate64Decoder();
    case kBzip2:
      return MakeBzip2Decoder();
    case kLzma:
      return MakeLzmaDecoder();
    case kPpmd:
      return MakePpmdDecoder();
    default:
      return nullptr;
  }
}

}  // namespace codecs
