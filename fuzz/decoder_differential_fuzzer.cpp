// Fuzz target: our decoders against reference encoders. Data from the input
// is compressed by the reference library with settings from the input, and
// our decoder must give back exactly that data:
//   bzip2      libbz2, one to three concatenated streams, every block size;
//   LZMA       liblzma's raw LZMA1 encoder with the ZIP entry header, with
//              and without the end marker, lc/lp/pb and dictionary sizes;
//   Deflate64  zlib's raw deflate, which is Deflate64 as long as it writes
//              no match of 258 bytes (length code 285 differs), so data
//              with a repeated 258-byte stretch is compressed without
//              matches;
//   samples    the decoder test samples that 7-Zip and the other tools made
//              (PPMd and Deflate64 among them), decoded up to a length from
//              the input, with read piece sizes from the input.
//
// Input: one byte choosing the case, four bytes of read piece sizes, the
// case's settings, then the data.
#include <bzlib.h>
#include <lzma.h>
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <unordered_set>
#include <vector>

#include "decoder_harness.h"
#include "install/codecs/factories.h"

namespace {

using fuzzing::Broken;
using Bytes = std::vector<uint8_t>;

constexpr const char* kName = "decoder_differential";

Bytes ToBytes(std::string_view s) { return Bytes(s.begin(), s.end()); }

// Decodes with read pieces from the input; the data must come back whole.
void ExpectDecodes(codecs::Decoder& decoder, const Bytes& compressed, const Bytes& original,
                   const fuzzing::PieceSizes& pieces, const codecs::EntryParameters& entry, const char* what) {
  fuzzing::PieceSource source(
      std::string_view(reinterpret_cast<const char*>(compressed.data()), compressed.size()), pieces);
  fuzzing::LimitedSink sink(original.size());
  const fuzzing::DecodeEnd end = fuzzing::RunDecoder(decoder, source, sink, entry);
  if (end != fuzzing::DecodeEnd::kDone) {
    std::fprintf(stderr, "%s: %s\n", kName, end == fuzzing::DecodeEnd::kLimit ? "more output" : "decode error");
    Broken(kName, what);
  }
  if (sink.bytes != original) Broken(kName, what);
}

// ---- bzip2 ----------------------------------------------------------------

Bytes Bzip2Compress(const Bytes& data, int blockSize, int workFactor) {
  unsigned int size = static_cast<unsigned int>(data.size() + data.size() / 100 + 600);
  Bytes out(size);
  // libbz2 takes the source as non-const, and refuses a null one even when it is empty.
  Bytes in = data;
  in.push_back(0);
  const int rc = BZ2_bzBuffToBuffCompress(reinterpret_cast<char*>(out.data()), &size,
                                          reinterpret_cast<char*>(in.data()),
                                          static_cast<unsigned int>(data.size()), blockSize, 0, workFactor);
  if (rc != BZ_OK) {
    std::fprintf(stderr, "%s: libbz2 error %d\n", kName, rc);
    Broken(kName, "libbz2 failed");
  }
  out.resize(size);
  return out;
}

void Bzip2Case(fuzzing::InputReader& in, const fuzzing::PieceSizes& pieces) {
  const size_t streams = 1 + in.Below(3);
  int blockSizes[3];
  for (int& b : blockSizes) b = 1 + static_cast<int>(in.Below(9));
  const int workFactor = static_cast<int>(in.Below(251));
  const Bytes data = ToBytes(in.Rest());
  Bytes compressed;
  size_t at = 0;
  for (size_t i = 0; i < streams; ++i) {
    const size_t end = i + 1 == streams ? data.size() : at + (data.size() - at) / 2;
    const Bytes part(data.begin() + static_cast<std::ptrdiff_t>(at), data.begin() + static_cast<std::ptrdiff_t>(end));
    const Bytes stream = Bzip2Compress(part, blockSizes[i], workFactor);
    compressed.insert(compressed.end(), stream.begin(), stream.end());
    at = end;
  }
  const auto decoder = codecs::MakeBzip2Decoder();
  ExpectDecodes(*decoder, compressed, data, pieces, {}, "bzip2 from libbz2 did not decode to its data");
}

// ---- LZMA -----------------------------------------------------------------

void LzmaCase(fuzzing::InputReader& in, const fuzzing::PieceSizes& pieces) {
  lzma_options_lzma options;
  const uint32_t preset = in.Below(10) | (in.Bit() ? LZMA_PRESET_EXTREME : 0);
  if (lzma_lzma_preset(&options, preset)) Broken(kName, "liblzma preset refused");
  options.lc = in.Below(5);
  options.lp = in.Below(5 - options.lc);  // lc + lp at most 4
  options.pb = in.Below(5);
  // Up to 64 KiB and a bit: larger dictionaries only cost time on inputs of
  // a few KiB.
  const uint32_t dictionaryShift = in.Below(5);
  options.dict_size = (4096u << dictionaryShift) + (in.Bit() ? in.Below(4096) : 0);
  if (in.Bit()) options.mode = LZMA_MODE_FAST;
  options.nice_len = 5 + in.Below(269);
  const bool endMarker = in.Bit();
  const Bytes data = ToBytes(in.Rest());
  options.ext_flags = 0;  // without the end marker
  options.ext_size_low = static_cast<uint32_t>(data.size());
  options.ext_size_high = 0;

  const lzma_filter filters[] = {{endMarker ? LZMA_FILTER_LZMA1 : LZMA_FILTER_LZMA1EXT, &options},
                                 {LZMA_VLI_UNKNOWN, nullptr}};
  lzma_stream stream = LZMA_STREAM_INIT;
  if (lzma_raw_encoder(&stream, filters) != LZMA_OK) Broken(kName, "liblzma refused the options");
  Bytes raw(2 * data.size() + 4096);  // far beyond LZMA's worst expansion
  stream.next_in = data.data();
  stream.avail_in = data.size();
  stream.next_out = raw.data();
  stream.avail_out = raw.size();
  const lzma_ret rc = lzma_code(&stream, LZMA_FINISH);
  if (rc != LZMA_STREAM_END) Broken(kName, "liblzma did not finish");
  raw.resize(raw.size() - stream.avail_out);
  lzma_end(&stream);

  // The ZIP entry: encoder version, properties size, properties, stream.
  Bytes entryData = {9, 20, 5, 0, static_cast<uint8_t>((options.pb * 5 + options.lp) * 9 + options.lc)};
  for (int i = 0; i < 4; ++i) entryData.push_back(static_cast<uint8_t>(options.dict_size >> (8 * i)));
  entryData.insert(entryData.end(), raw.begin(), raw.end());

  codecs::EntryParameters entry;
  entry.uncompressedSize = data.size();
  entry.generalPurposeFlags = endMarker ? 0x0002 : 0;
  const auto decoder = codecs::MakeLzmaDecoder();
  ExpectDecodes(*decoder, entryData, data, pieces, entry, "LZMA from liblzma did not decode to its data");
}

// ---- Deflate64 through zlib -----------------------------------------------

constexpr size_t kLongestDeflateMatch = 258;

// Whether some stretch of 258 bytes occurs twice; a hash collision also
// counts, which only makes the case use fewer matches.
bool HasRepeatedLongestMatch(const Bytes& data) {
  if (data.size() <= kLongestDeflateMatch) return false;
  constexpr uint64_t kBase = 0x100000001b3ull;
  uint64_t top = 1;  // kBase to the power of the window length minus one
  for (size_t i = 1; i < kLongestDeflateMatch; ++i) top *= kBase;
  uint64_t hash = 0;
  std::unordered_set<uint64_t> seen;
  for (size_t i = 0; i < data.size(); ++i) {
    if (i >= kLongestDeflateMatch) hash -= top * data[i - kLongestDeflateMatch];
    hash = hash * kBase + data[i];
    if (i + 1 >= kLongestDeflateMatch && !seen.insert(hash).second) return true;
  }
  return false;
}

void Deflate64Case(fuzzing::InputReader& in, const fuzzing::PieceSizes& pieces) {
  const int level = static_cast<int>(in.Below(10));
  static constexpr int kStrategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};
  int strategy = kStrategies[in.Below(5)];
  const int windowBits = 9 + static_cast<int>(in.Below(7));
  const int memLevel = 1 + static_cast<int>(in.Below(9));
  const Bytes data = ToBytes(in.Rest());
  if (HasRepeatedLongestMatch(data)) strategy = Z_HUFFMAN_ONLY;

  z_stream z{};
  if (deflateInit2(&z, level, Z_DEFLATED, -windowBits, memLevel, strategy) != Z_OK) Broken(kName, "zlib refused");
  // deflateBound is not always enough with small memory levels; the buffer
  // grows until zlib is done.
  Bytes compressed(deflateBound(&z, static_cast<uLong>(data.size())));
  z.next_in = const_cast<Bytef*>(data.data());
  z.avail_in = static_cast<uInt>(data.size());
  for (;;) {
    z.next_out = compressed.data() + z.total_out;
    z.avail_out = static_cast<uInt>(compressed.size() - z.total_out);
    const int rc = deflate(&z, Z_FINISH);
    if (rc == Z_STREAM_END) break;
    if (rc != Z_OK && rc != Z_BUF_ERROR) Broken(kName, "zlib failed");
    compressed.resize(compressed.size() * 2 + 64);
  }
  compressed.resize(z.total_out);
  deflateEnd(&z);

  const auto decoder = codecs::MakeDeflate64Decoder();
  ExpectDecodes(*decoder, compressed, data, pieces, {}, "deflate from zlib did not decode as Deflate64");
}

// ---- the samples of the decoder tests -------------------------------------

struct Sample {
  uint16_t method = 0;
  uint16_t flags = 0;
  Bytes data;
  Bytes expected;
};

Bytes ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary | std::ios::ate);
  if (!f) return {};
  Bytes bytes(static_cast<size_t>(f.tellg()));
  f.seekg(0);
  f.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

// manifest.txt: name, method, [flags,] size; the flags only with `hasFlags`.
void LoadSamples(const std::string& dir, bool hasFlags, std::vector<Sample>& samples) {
  std::ifstream manifest(dir + "/manifest.txt");
  std::string line;
  while (std::getline(manifest, line)) {
    std::istringstream fields(line);
    std::string name;
    unsigned method = 0, flags = 0;
    if (!(fields >> name >> method) || (hasFlags && !(fields >> flags))) continue;
    Sample s;
    s.method = static_cast<uint16_t>(method);
    s.flags = static_cast<uint16_t>(flags);
    s.data = ReadFile(dir + "/" + name + ".data");
    s.expected = ReadFile(dir + "/" + name + ".out");
    samples.push_back(std::move(s));
  }
}

const std::vector<Sample>& Samples() {
  static const std::vector<Sample> samples = [] {
    std::vector<Sample> all;
#ifdef QX_FUZZ_LZMA_PPMD_SAMPLES
    LoadSamples(QX_FUZZ_LZMA_PPMD_SAMPLES, true, all);
#endif
#ifdef QX_FUZZ_BZIP2_DEFLATE64_SAMPLES
    LoadSamples(QX_FUZZ_BZIP2_DEFLATE64_SAMPLES, false, all);
#endif
    return all;
  }();
  return samples;
}

// Compares what arrives with the sample's data and stops at a length.
class PrefixSink final : public codecs::ByteSink {
 public:
  PrefixSink(const Bytes& expected, size_t stopAt) : expected_(expected), stopAt_(stopAt) {}
  void Write(const uint8_t* data, size_t size) override {
    if (size == 0) return;
    if (size > expected_.size() - at_) Broken(kName, "a sample decoded to more than its data");
    if (std::memcmp(data, expected_.data() + at_, size) != 0) Broken(kName, "a sample decoded to other bytes");
    at_ += size;
    if (at_ >= stopAt_) throw fuzzing::OutputLimitReached{};
  }
  size_t Written() const { return at_; }

 private:
  const Bytes& expected_;
  size_t stopAt_;
  size_t at_ = 0;
};

void SampleCase(fuzzing::InputReader& in, const fuzzing::PieceSizes& pieces) {
  const std::vector<Sample>& samples = Samples();
  if (samples.empty()) return;
  const Sample& s = samples[in.Le16() % samples.size()];
  // Up to 64 KiB of output, so that a run stays short.
  const size_t stopAt = 1 + in.Le32() % std::min<size_t>(s.expected.size() + 1, 64u << 10);
  fuzzing::PieceSource source(std::string_view(reinterpret_cast<const char*>(s.data.data()), s.data.size()),
                              pieces);
  PrefixSink sink(s.expected, stopAt);
  codecs::EntryParameters entry;
  entry.uncompressedSize = s.expected.size();
  entry.generalPurposeFlags = s.flags;
  const auto decoder = codecs::MakeDecoder(s.method);
  if (!decoder) Broken(kName, "a sample of a method without decoder");
  try {
    decoder->Decode(source, sink, entry);
    if (sink.Written() != s.expected.size()) Broken(kName, "a sample decoded to less than its data");
  } catch (const fuzzing::OutputLimitReached&) {
  } catch (const codecs::DecodeError& e) {
    std::fprintf(stderr, "%s: %s\n", kName, e.what());
    Broken(kName, "a sample failed to decode");
  }
}

}  // namespace

// The samples are read before the first input, so that reading them does not
// count as a slow input.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  (void)Samples();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzing::InputReader in(data, size);
  const uint8_t which = in.Byte() % 4;
  const fuzzing::PieceSizes pieces = fuzzing::ReadPieceSizes(in);
  switch (which) {
    case 0:
      Bzip2Case(in, pieces);
      break;
    case 1:
      LzmaCase(in, pieces);
      break;
    case 2:
      Deflate64Case(in, pieces);
      break;
    default:
      SampleCase(in, pieces);
      break;
  }
  return 0;
}
