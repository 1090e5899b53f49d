#pragma once
// The decoders of the compression methods that need code of their own.
#include <memory>

#include "install/codecs/decoder.h"

namespace codecs {

std::unique_ptr<Decoder> MakeDeflate64Decoder();
std::unique_ptr<Decoder> MakeBzip2Decoder();
std::unique_ptr<Decoder> MakeLzmaDecoder();
std::unique_ptr<Decoder> MakePpmdDecoder();

}  // namespace codecs
