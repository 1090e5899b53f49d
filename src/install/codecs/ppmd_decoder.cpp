// ZIP method 98: a two-byte header (model order, model memory in MB and
// what to do when that memory is full), then the range-coded symbols.
#include <cstdint>
#include <memory>

#include "install/codecs/factories.h"
#include "install/codecs/ppmd_model.h"
#include "install/codecs/range_input.h"

namespace codecs {
namespace {

class PpmdDecoder : public Decoder {
 public:
  void Decode(ByteSource& in, ByteSink& out, const EntryParameters& entry) override {
    if (entry.uncompressedSize == 0) return;
    RangeInput input(in);
    unsigned header = input.Byte();
    header |= static_cast<unsigned>(input.Byte()) << 8;
    const unsigned order = (header & 0xF) + 1;
    const uint64_t memory = static_cast<uint64_t>(((header >> 4) & 0xFF) + 1) << 20;
    const unsigned restore = header >> 12;
    if (order < PpmdModel::kMinOrder) throw DecodeError("PPMd model order out of range");
    if (restore > PpmdModel::kCutOff) throw DecodeError("PPMd restoration method not supported");
    if (memory > kMaxDecoderMemory) throw DecodeError("PPMd model memory too large");

    PpmdModel model(static_cast<uint32_t>(memory), order, static_cast<PpmdModel::RestoreMethod>(restore));
    model.StartDecoding(input);
    uint8_t buffer[16 * 1024];
    uint64_t remaining = entry.uncompressedSize;
    while (remaining != 0) {
      size_t n = remaining < sizeof buffer ? static_cast<size_t>(remaining) : sizeof buffer;
      for (size_t i = 0; i < n; i++) {
        int symbol = model.DecodeSymbol();
        if (symbol < 0) {
          throw DecodeError(symbol == PpmdModel::kEndMark ? "PPMd data ends before the entry does"
                                                          : "PPMd data damaged");
        }
        buffer[i] = static_cast<uint8_t>(symbol);
      }
      out.Write(buffer, n);
      remaining -= n;
    }
    model.FinishDecoding();
  }
};

}  // namespace

std::unique_ptr<Decoder> MakePpmdDecoder() { return std::make_unique<PpmdDecoder>(); }

}  // namespace codecs
