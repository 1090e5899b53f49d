// The bzip2 decoder against data made by Debian's bzip2, Python's bz2 module
// and 7-Zip, and against damaged data.
#include <gtest/gtest.h>

#include "bzip2_deflate64_samples.h"
#include "install/codecs/factories.h"

namespace codecs_test {
namespace {

constexpr uint16_t kBzip2 = 12;
const DecoderFactory kMakeBzip2 = [] { return codecs::MakeBzip2Decoder(); };

std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

class Bzip2Samples : public testing::Test {
 protected:
  void SetUp() override {
    names_ = ReferenceSampleNames(kBzip2);
    ASSERT_FALSE(names_.empty()) << "no samples: run the fixture bzip2_deflate64_samples first";
  }
  std::vector<std::string> names_;
};

TEST_F(Bzip2Samples, DecodesWhatTheReferenceEncodersMade) {
  for (const std::string& name : names_) {
    SCOPED_TRACE(name);
    const ReferenceSample sample = LoadReferenceSample(name);
    const Outcome outcome = DecodeFed(kMakeBzip2, sample.data, &sample.expected);
    ASSERT_FALSE(outcome.failed) << outcome.error;
    EXPECT_TRUE(outcome.matches) << "decoded " << outcome.size << " of " << sample.expected.size() << " bytes";
    EXPECT_FALSE(outcome.read_after_end);
    if (sample.expected.size() > 300'000) {
      EXPECT_GE(outcome.smallest_write, 64u * 1024);
    }
  }
}

// Damaged data fails with DecodeError. Bit flips that decoding does not
// notice must leave the output as it was: every block and every stream
// carries a CRC.
TEST_F(Bzip2Samples, DamagedDataFailsOrDecodesUnchanged) {
  for (const char* name : {"bz_text_tool_1", "bz_runs_tool_9", "bz_streams_python", "bz_records_7z_9",
                           "bz_pattern_abc_python_1", "bz_one_byte_tool_9", "bz_empty_python_1"}) {
    SCOPED_TRACE(name);
    const ReferenceSample sample = LoadReferenceSample(name);
    for (const Damaged& cut : CutVersions(sample.data)) {
      SCOPED_TRACE(cut.what);
      EXPECT_TRUE(DecodeFed(kMakeBzip2, cut.data).failed);
    }
    for (const Damaged& flip : FlippedVersions(sample.data, 24, 7)) {
      SCOPED_TRACE(flip.what);
      const Outcome outcome = DecodeFed(kMakeBzip2, flip.data, &sample.expected);
      EXPECT_TRUE(outcome.failed || outcome.matches);
    }
  }
}

TEST(Bzip2Decoder, GarbageFails) {
  for (const auto& prefix : {Bytes(""), Bytes("BZh9"), Bytes("BZh91AY&SY")}) {
    for (const Damaged& garbage : GarbageVersions(prefix, 3)) {
      SCOPED_TRACE(garbage.what);
      EXPECT_TRUE(DecodeFed(kMakeBzip2, garbage.data).failed);
    }
  }
}

// Single damages at known places of a stream of one 900k block.
TEST_F(Bzip2Samples, DamagedHeadersFail) {
  const ReferenceSample sample = LoadReferenceSample("bz_text_tool_9");
  struct Case {
    const char* what;
    size_t byte;
    uint8_t mask;  // xor
  };
  const Case cases[] = {
      {"stream signature", 0, 0x01},
      {"block size digit 0", 3, '9' ^ '0'},
      {"block size smaller than the block", 3, '9' ^ '1'},
      {"block magic", 4, 0x10},
      {"block CRC", 11, 0x01},
      {"randomised block", 14, 0x80},  // the bit after the block CRC
      {"block origin too large", 14, 0x7f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<uint8_t> data = sample.data;
    data[c.byte] ^= c.mask;
    EXPECT_TRUE(DecodeFed(kMakeBzip2, data).failed);
  }
  std::vector<uint8_t> data = sample.data;
  data[data.size() - 2] ^= 0x01;  // in the stream CRC, which ends the data
  EXPECT_TRUE(DecodeFed(kMakeBzip2, data, &sample.expected).failed) << "stream CRC";
}

// After the last stream, bytes that start no further stream are ignored,
// as by the bzip2 tools; a further stream that is cut short is not.
TEST_F(Bzip2Samples, WhatFollowsTheLastStream) {
  const ReferenceSample sample = LoadReferenceSample("bz_runs_tool_9");
  for (const auto& tail : {Bytes(std::string(100, '\0')), Bytes("junk after the stream"), Bytes("BZ")}) {
    std::vector<uint8_t> data = sample.data;
    data.insert(data.end(), tail.begin(), tail.end());
    const Outcome outcome = DecodeFed(kMakeBzip2, data, &sample.expected);
    EXPECT_FALSE(outcome.failed) << outcome.error;
    EXPECT_TRUE(outcome.matches);
  }
  std::vector<uint8_t> data = sample.data;
  const auto next = Bytes("BZh91AY&SY");
  data.insert(data.end(), next.begin(), next.end());
  EXPECT_TRUE(DecodeFed(kMakeBzip2, data, &sample.expected).failed);
}

}  // namespace
}  // namespace codecs_test
