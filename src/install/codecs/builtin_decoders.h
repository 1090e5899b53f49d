#pragma once
// The decoders of the two methods nearly every archiver writes: stored (0)
// and deflated (8, through zlib).
#include <memory>

#include "install/codecs/decoder.h"

namespace codecs {

std::unique_ptr<Decoder> MakeStoredDecoder();
std::unique_ptr<Decoder> MakeInflateDecoder();

}  // namespace codecs
