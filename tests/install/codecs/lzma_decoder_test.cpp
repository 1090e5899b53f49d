// The LZMA decoder (ZIP method 14) against data that liblzma and 7-Zip
// encoded, and against damaged data.
#include <gtest/gtest.h>

#include <cstring>

#include "install/codecs/factories.h"
#include "install/codecs/lzma_stream.h"
#include "lzma_ppmd_samples.h"

namespace {

using codecs_test::DecodeWith;
using codecs_test::LoadSample;
using codecs_test::Sample;

constexpr uint16_t kEndMarker = 0x0002;
constexpr size_t kHeaderSize = 9;  // version, properties size, properties

std::vector<std::string> LzmaSampleNames() {
  std::vector<std::string> names;
  for (const Sample& s : codecs_test::ListSamples())
    if (s.method == 14) names.push_back(s.name);
  return names;
}

TEST(LzmaSamples, AreThere) {
  EXPECT_GE(LzmaSampleNames().size(), 15u) << "samples missing in " << codecs_test::SamplesDir()
                                           << " (made by the ctest fixture lzma_ppmd_samples)";
}

class LzmaSample : public testing::TestWithParam<std::string> {};

TEST_P(LzmaSample, DecodesToTheOriginal) {
  Sample s = LoadSample(GetParam());
  auto r = DecodeWith(14, s.data, s.expected.size(), s.flags);
  ASSERT_FALSE(r.failed) << r.error;
  EXPECT_EQ(r.output.size(), s.expected.size());
  EXPECT_TRUE(r.output == s.expected);
}

// Damaged data fails or, where the damage goes unnoticed (LZMA carries no
// check of its own; the archive's CRC-32 catches that), yields exactly the
// declared size; it never crashes, hangs or overruns.
TEST_P(LzmaSample, DamagedDataFailsCleanly) {
  Sample s = LoadSample(GetParam());
  if (s.data.size() < 16) GTEST_SKIP() << "too short to damage in many ways";
  for (const auto& d : codecs_test::DamagedVersions(s.data, kHeaderSize, 7)) {
    auto r = DecodeWith(14, d.data, s.expected.size(), s.flags);
    if (!r.failed) {
      EXPECT_EQ(r.output.size(), s.expected.size()) << d.what;
    }
    EXPECT_LE(r.output.size(), s.expected.size()) << d.what;
  }
}

TEST_P(LzmaSample, CutInHalfFails) {
  Sample s = LoadSample(GetParam());
  if (s.expected.size() < 1000) GTEST_SKIP();
  std::vector<uint8_t> half(s.data.begin(), s.data.begin() + static_cast<std::ptrdiff_t>(s.data.size() / 2));
  EXPECT_TRUE(DecodeWith(14, half, s.expected.size(), s.flags).failed);
}

INSTANTIATE_TEST_SUITE_P(All, LzmaSample, testing::ValuesIn(LzmaSampleNames()),
                         [](const testing::TestParamInfo<std::string>& i) { return i.param; });

// The declared size and the end marker must agree with the stream.
TEST(LzmaSizes, MustAgreeWithTheStream) {
  Sample withMarker = LoadSample("lzma_py_text_default");
  Sample withoutMarker = LoadSample("lzma_7z_text_no_end_marker");
  const size_t n = withMarker.expected.size();

  // Marker before the declared end.
  EXPECT_TRUE(DecodeWith(14, withMarker.data, n + 1, kEndMarker).failed);
  // More data than declared before the marker.
  EXPECT_TRUE(DecodeWith(14, withMarker.data, n - 1, kEndMarker).failed);
  // Without the flag, the declared size ends the stream wherever it is.
  auto prefix = DecodeWith(14, withMarker.data, 1000, 0);
  ASSERT_FALSE(prefix.failed) << prefix.error;
  EXPECT_TRUE(std::equal(prefix.output.begin(), prefix.output.end(), withMarker.expected.begin()));
  EXPECT_EQ(prefix.output.size(), 1000u);
  // A stream without marker declared longer than it is runs out of data.
  EXPECT_TRUE(DecodeWith(14, withoutMarker.data, withoutMarker.expected.size() + 100, 0).failed);
  // Said to have a marker that is not there.
  EXPECT_TRUE(DecodeWith(14, withoutMarker.data, withoutMarker.expected.size(), kEndMarker).failed);
}

TEST(LzmaSizes, EmptyEntryWithoutMarkerNeedsNoData) {
  auto r = DecodeWith(14, {}, 0, 0);
  EXPECT_FALSE(r.failed) << r.error;
  EXPECT_TRUE(r.output.empty());
}

std::vector<uint8_t> Header(uint8_t propsSizeLow, uint8_t lcLpPb, uint32_t dict) {
  std::vector<uint8_t> h = {9, 20, propsSizeLow, 0, lcLpPb};
  for (int i = 0; i < 4; i++) h.push_back(static_cast<uint8_t>(dict >> (8 * i)));
  return h;
}

TEST(LzmaHeader, BadHeadersFail) {
  Sample s = LoadSample("lzma_py_text_fast");
  std::vector<uint8_t> stream(s.data.begin() + kHeaderSize, s.data.end());
  struct Case {
    const char* what;
    std::vector<uint8_t> header;
  } cases[] = {
      {"properties size 4", Header(4, 0x5D, 1 << 20)},
      {"properties size 6", Header(6, 0x5D, 1 << 20)},
      {"lc/lp/pb byte 225", Header(5, 225, 1 << 20)},
      {"dictionary one byte over the limit", Header(5, 0x5D, (256u << 20) + 1)},
      {"dictionary 4 GiB", Header(5, 0x5D, 0xFFFFFFFFu)},
      {"header cut short", {9, 20, 5}},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> data = c.header;
    if (data.size() == kHeaderSize) data.insert(data.end(), stream.begin(), stream.end());
    EXPECT_TRUE(DecodeWith(14, data, s.expected.size(), kEndMarker).failed) << c.what;
  }
  // The largest dictionary an entry may have is accepted.
  std::vector<uint8_t> data = Header(5, 0x5D, 256u << 20);
  data.insert(data.end(), stream.begin(), stream.end());
  auto r = DecodeWith(14, data, s.expected.size(), kEndMarker);
  EXPECT_FALSE(r.failed) << r.error;
  EXPECT_TRUE(r.output == s.expected);
}

TEST(LzmaHeader, StreamMustStartWithZero) {
  Sample s = LoadSample("lzma_py_one_byte");
  s.data[kHeaderSize] = 1;
  EXPECT_TRUE(DecodeWith(14, s.data, 1, kEndMarker).failed);
}

// The window holds no more than the entry, whatever dictionary is declared,
// and never more than the dictionary.
TEST(LzmaWindow, IsBoundedByEntryAndDictionary) {
  codecs::LzmaProperties p;
  p.dictionarySize = 256u << 20;
  EXPECT_LE(codecs::LzmaStream(p, 1000, true).WindowSize(), 4096u);
  EXPECT_LE(codecs::LzmaStream(p, 1000, false).WindowSize(), 4096u);
  EXPECT_EQ(codecs::LzmaStream(p, 3u << 20, true).WindowSize(), 3u << 20);
  p.dictionarySize = 1u << 16;
  EXPECT_EQ(codecs::LzmaStream(p, 1ull << 40, true).WindowSize(), 1u << 16);
  p.dictionarySize = (256u << 20) + 16;
  EXPECT_THROW(codecs::LzmaStream(p, 100, true), codecs::DecodeError);
}

TEST(LzmaGarbage, RandomDataAfterValidHeaderNeverOverruns) {
  uint32_t seed = 99;
  for (int round = 0; round < 40; round++) {
    std::vector<uint8_t> data = Header(5, static_cast<uint8_t>(round * 5 % 225), 4096);
    data.push_back(0);
    for (int i = 0; i < 3000; i++) {
      seed = seed * 1103515245u + 12345u;
      data.push_back(static_cast<uint8_t>(seed >> 16));
    }
    for (uint16_t flags : {uint16_t{0}, kEndMarker}) {
      auto r = DecodeWith(14, data, 50000, flags);
      EXPECT_LE(r.output.size(), 50000u);
      if (!r.failed) {
        EXPECT_EQ(r.output.size(), 50000u);
      }
    }
  }
}

}  // namespace
