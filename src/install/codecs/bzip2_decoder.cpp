// bzip2 entries, ZIP method 12.
#include "install/codecs/bzip2_stream.h"
#include "install/codecs/factories.h"

namespace codecs {
namespace {

class Bzip2Decoder final : public Decoder {
 public:
  void Decode(ByteSource& in, ByteSink& out, const EntryParameters&) override { bzip2::Bunzip2(in, out).Run(); }
};

}  // namespace

std::unique_ptr<Decoder> MakeBzip2Decoder() { return std::make_unique<Bzip2Decoder>(); }

}  // namespace codecs
