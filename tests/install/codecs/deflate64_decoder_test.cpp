// The Deflate64 decoder against data made by 7-Zip, against data written by
// hand for what 7-Zip never writes, and against damaged data.
#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "bzip2_deflate64_samples.h"
#include "deflate64_stream_writer.h"
#include "install/codecs/factories.h"

namespace codecs_test {
namespace {

constexpr uint16_t kDeflate64 = 9;
const DecoderFactory kMakeDeflate64 = [] { return codecs::MakeDeflate64Decoder(); };

std::vector<uint8_t> RandomBytes(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> bytes(size);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(rng());
  return bytes;
}

void Literals(Deflate64Writer& w, const std::vector<uint8_t>& bytes) {
  for (uint8_t b : bytes) w.Literal(b);
}

class Deflate64Samples : public testing::Test {
 protected:
  void SetUp() override {
    names_ = ReferenceSampleNames(kDeflate64);
    ASSERT_FALSE(names_.empty()) << "no samples: run the fixture bzip2_deflate64_samples first";
  }
  std::vector<std::string> names_;
};

TEST_F(Deflate64Samples, DecodesWhat7ZipMade) {
  for (const std::string& name : names_) {
    SCOPED_TRACE(name);
    const ReferenceSample sample = LoadReferenceSample(name);
    const Outcome outcome = DecodeFed(kMakeDeflate64, sample.data, &sample.expected);
    ASSERT_FALSE(outcome.failed) << outcome.error;
    EXPECT_TRUE(outcome.matches) << "decoded " << outcome.size << " of " << sample.expected.size() << " bytes";
    EXPECT_FALSE(outcome.read_after_end);
    if (sample.expected.size() > 300'000) {
      EXPECT_GE(outcome.smallest_write, 64u * 1024);
    }
  }
}

// Deflate64 has no check of its own (the entry's CRC-32 is checked outside
// the decoder), so damaged data may decode to something else; it must not
// crash or hang. Cut data always fails: the final block is missing.
TEST_F(Deflate64Samples, DamagedDataDoesNoHarm) {
  for (const char* name : {"d64_text_7z_1", "d64_far_repeats_7z_9", "d64_mixed_7z_5", "d64_runs_7z_9",
                           "d64_skewed_7z_1"}) {
    SCOPED_TRACE(name);
    const ReferenceSample sample = LoadReferenceSample(name);
    for (const Damaged& cut : CutVersions(sample.data)) {
      SCOPED_TRACE(cut.what);
      EXPECT_TRUE(DecodeFed(kMakeDeflate64, cut.data).failed);
    }
    for (const Damaged& flip : FlippedVersions(sample.data, 24, 5)) {
      SCOPED_TRACE(flip.what);
      DecodeFed(kMakeDeflate64, flip.data, &sample.expected);
    }
    for (const Damaged& garbage : GarbageVersions({}, 11)) {
      SCOPED_TRACE(garbage.what);
      DecodeFed(kMakeDeflate64, garbage.data);
    }
  }
}

struct WrittenCase {
  const char* what;
  std::function<void(Deflate64Writer&)> write;
};

// Streams that decode to what the writer kept.
TEST(Deflate64Decoder, DecodesHandWrittenStreams) {
  const std::vector<uint8_t> random = RandomBytes(70'000, 1);
  const WrittenCase cases[] = {
      {"the longest match from the farthest distance, and code 285 for short lengths",
       [&](Deflate64Writer& w) {
         w.FixedBlock(true);
         Literals(w, random);
         w.Match(65538, 65536);
         w.Match(3, 1, true);
         w.Match(258, 32769);   // distance code 30, no extra value
         w.Match(1000, 49152);  // code 30, the largest extra value
         w.Match(40000, 49153); // code 31
         w.Match(65535, 65535);
         w.EndOfBlock();
       }},
      {"long matches with every kind of overlap",
       [&](Deflate64Writer& w) {
         w.FixedBlock(false);
         Literals(w, std::vector<uint8_t>(random.begin(), random.begin() + 40));
         for (uint32_t distance : {1u, 2u, 3u, 5u, 7u, 8u, 9u, 15u, 16u, 17u, 31u, 40u}) {
           w.Match(65538, distance);
           w.Match(259, distance, true);
           w.Literal(static_cast<uint8_t>(distance));
         }
         w.EndOfBlock();
         w.FixedBlock(true);
         w.Match(12345, 65536);
         w.EndOfBlock();
       }},
      {"stored blocks between coded ones",
       [&](Deflate64Writer& w) {
         w.StoredBlock(std::vector<uint8_t>(random.begin(), random.begin() + 65535), false);
         w.StoredBlock({}, false);
         w.FixedBlock(false);
         w.Match(65538, 65535);
         w.Literal('x');
         w.EndOfBlock();
         w.StoredBlock({'e', 'n', 'd'}, false);
         w.FixedBlock(false);
         w.EndOfBlock();
         w.StoredBlock({}, true);
       }},
      {"an empty final block", [&](Deflate64Writer& w) {
         w.FixedBlock(true);
         w.EndOfBlock();
       }},
      {"bytes after the final block are not read as data",
       [&](Deflate64Writer& w) {
         w.FixedBlock(true);
         w.Literal('a');
         w.Match(100, 1);
         w.EndOfBlock();
         w.AlignToByte();
         w.Bits(0xffffffff, 32);
       }},
  };
  for (const WrittenCase& c : cases) {
    SCOPED_TRACE(c.what);
    Deflate64Writer w;
    c.write(w);
    const Outcome outcome = DecodeFed(kMakeDeflate64, w.data, &w.expected);
    ASSERT_FALSE(outcome.failed) << outcome.error;
    EXPECT_TRUE(outcome.matches) << "decoded " << outcome.size << " of " << w.expected.size() << " bytes";
  }
}

TEST(Deflate64Decoder, RejectsBadStreams) {
  const WrittenCase cases[] = {
      {"a distance before the start of the data",
       [](Deflate64Writer& w) {
         w.FixedBlock(true);
         for (int i = 0; i < 10; ++i) w.Literal('a');
         w.Match(3, 11);
         w.EndOfBlock();
       }},
      {"a distance before the start of a longer stream",
       [](Deflate64Writer& w) {
         w.StoredBlock(std::vector<uint8_t>(40000, 'q'), false);
         w.FixedBlock(true);
         w.Match(3, 40001);
         w.EndOfBlock();
       }},
      {"literal/length symbol 286",
       [](Deflate64Writer& w) {
         w.FixedBlock(true);
         w.Symbol(286);
       }},
      {"literal/length symbol 287",
       [](Deflate64Writer& w) {
         w.FixedBlock(true);
         w.Literal('a');
         w.Symbol(287);
       }},
      {"block type 3", [](Deflate64Writer& w) { w.Bits(7, 3); }},
      {"stored block whose length check does not match",
       [](Deflate64Writer& w) {
         w.Bits(1, 3);
         w.AlignToByte();
         w.Bits(5, 16);
         w.Bits(5, 16);
         w.Bits(0, 40);
       }},
      {"stored block cut short",
       [](Deflate64Writer& w) {
         w.Bits(1, 3);
         w.AlignToByte();
         w.Bits(500, 16);
         w.Bits(~500u & 0xffff, 16);
         w.Bits(0, 32);
       }},
      {"no final block",
       [](Deflate64Writer& w) {
         w.FixedBlock(false);
         w.Literal('a');
         w.EndOfBlock();
       }},
      {"code length code lengths all zero",
       [](Deflate64Writer& w) {
         w.Bits(1, 1);
         w.Bits(2, 2);
         w.Bits(0, 5 + 5 + 4 + 4 * 3);
         w.Bits(0, 32);
       }},
      {"code length code over-subscribed",
       [](Deflate64Writer& w) {
         w.Bits(1, 1);
         w.Bits(2, 2);
         w.Bits(0, 5 + 5 + 4);
         for (int i = 0; i < 4; ++i) w.Bits(1, 3);  // four codes of length 1
         w.Bits(0, 32);
       }},
      {"empty data", [](Deflate64Writer&) {}},
  };
  for (const WrittenCase& c : cases) {
    SCOPED_TRACE(c.what);
    Deflate64Writer w;
    c.write(w);
    EXPECT_TRUE(DecodeFed(kMakeDeflate64, w.data).failed);
  }
}

}  // namespace
}  // namespace codecs_test
