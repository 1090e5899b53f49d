// Method 0: the data is the file.
#include <vector>

#include "install/codecs/builtin_decoders.h"

namespace codecs {

namespace {

constexpr size_t kBufferSize = 1024 * 1024;

class StoredDecoder : public Decoder {
 public:
  void Decode(ByteSource& in, ByteSink& out, const EntryParameters&) override {
    std::vector<uint8_t> buffer(kBufferSize);
    for (;;) {
      const size_t n = in.Read(buffer.data(), buffer.size());
      if (n == 0) return;
      out.Write(buffer.data(), n);
    }
  }
};

}  // namespace

std::unique_ptr<Decoder> MakeStoredDecoder() { return std::make_unique<StoredDecoder>(); }

}  // namespace codecs
