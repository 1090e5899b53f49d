// Method 8: raw Deflate (RFC 1951), decoded by zlib.
#include <zlib.h>

#include <climits>
#include <vector>

#include "install/codecs/builtin_decoders.h"

namespace codecs {

namespace {

constexpr size_t kInputSize = 256 * 1024;
constexpr size_t kOutputSize = 256 * 1024;
static_assert(kInputSize <= UINT_MAX && kOutputSize <= UINT_MAX);

class InflateStream {
 public:
  InflateStream() {
    // Negative window bits: raw Deflate without a zlib header.
    if (inflateInit2(&stream_, -MAX_WBITS) != Z_OK) throw DecodeError("inflate cannot start");
  }
  ~InflateStream() { inflateEnd(&stream_); }
  InflateStream(const InflateStream&) = delete;
  InflateStream& operator=(const InflateStream&) = delete;
  z_stream& operator*() { return stream_; }

 private:
  z_stream stream_{};
};

class InflateDecoder : public Decoder {
 public:
  void Decode(ByteSource& in, ByteSink& out, const EntryParameters&) override {
    std::vector<uint8_t> input(kInputSize);
    std::vector<uint8_t> output(kOutputSize);
    InflateStream holder;
    z_stream& z = *holder;
    bool inputEnded = false;
    for (;;) {
      if (z.avail_in == 0 && !inputEnded) {
        const size_t n = in.Read(input.data(), input.size());
        inputEnded = n == 0;
        z.next_in = input.data();
        z.avail_in = static_cast<uInt>(n);
      }
      z.next_out = output.data();
      z.avail_out = static_cast<uInt>(output.size());
      const int result = inflate(&z, Z_NO_FLUSH);
      const size_t produced = output.size() - z.avail_out;
      if (produced > 0) out.Write(output.data(), produced);
      if (result == Z_STREAM_END) return;  // bytes after the stream's end are not the entry's
      if (result == Z_BUF_ERROR && inputEnded && produced == 0) throw DecodeError("deflate data cut short");
      if (result != Z_OK && result != Z_BUF_ERROR) throw DecodeError("damaged deflate data");
    }
  }
};

}  // namespace

std::unique_ptr<Decoder> MakeInflateDecoder() { return std::make_unique<InflateDecoder>(); }

}  // namespace codecs
