// Enhanced deflated (Deflate64) entries, ZIP method 9.
#include "install/codecs/deflate64_inflater.h"
#include "install/codecs/factories.h"

namespace codecs {
namespace {

class Deflate64Decoder final : public Decoder {
 public:
  void Decode(ByteSource& in, ByteSink& out, const EntryParameters&) override {
    deflate64::Inflater(in, out).Run();
  }
};

}  // namespace

std::unique_ptr<Decoder> MakeDeflate64Decoder() { return std::make_unique<Deflate64Decoder>(); }

}  // namespace codecs
