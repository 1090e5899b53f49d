// The PPMd var.I rev.1 decoder (ZIP method 98) against data that 7-Zip
// encoded (orders 2 to 16, memory sizes, model restarts and cut-offs when
// the memory runs full), and against damaged data.
#include <gtest/gtest.h>

#include "install/codecs/factories.h"
#include "lzma_ppmd_samples.h"

namespace {

using codecs_test::DecodeWith;
using codecs_test::LoadSample;
using codecs_test::Sample;

constexpr size_t kHeaderSize = 2;

std::vector<std::string> PpmdSampleNames() {
  std::vector<std::string> names;
  for (const Sample& s : codecs_test::ListSamples())
    if (s.method == 98) names.push_back(s.name);
  return names;
}

TEST(PpmdSamples, AreThere) {
  EXPECT_GE(PpmdSampleNames().size(), 12u) << "samples missing in " << codecs_test::SamplesDir()
                                           << " (made by the ctest fixture lzma_ppmd_samples)";
}

class PpmdSample : public testing::TestWithParam<std::string> {};

TEST_P(PpmdSample, DecodesToTheOriginal) {
  Sample s = LoadSample(GetParam());
  auto r = DecodeWith(98, s.data, s.expected.size(), s.flags);
  ASSERT_FALSE(r.failed) << r.error;
  EXPECT_EQ(r.output.size(), s.expected.size());
  EXPECT_TRUE(r.output == s.expected);
}

// Damaged data fails or yields exactly the declared size (the archive's
// CRC-32 tells the rest); it never crashes, hangs or overruns.
TEST_P(PpmdSample, DamagedDataFailsCleanly) {
  Sample s = LoadSample(GetParam());
  if (s.expected.size() > 200'000) GTEST_SKIP() << "the smaller samples cover this";
  for (const auto& d : codecs_test::DamagedVersions(s.data, kHeaderSize, 11)) {
    auto r = DecodeWith(98, d.data, s.expected.size(), s.flags);
    if (!r.failed) {
      EXPECT_EQ(r.output.size(), s.expected.size()) << d.what;
    }
    EXPECT_LE(r.output.size(), s.expected.size()) << d.what;
  }
}

TEST_P(PpmdSample, CutInHalfFails) {
  Sample s = LoadSample(GetParam());
  if (s.expected.size() < 1000) GTEST_SKIP();
  std::vector<uint8_t> half(s.data.begin(), s.data.begin() + static_cast<std::ptrdiff_t>(s.data.size() / 2));
  EXPECT_TRUE(DecodeWith(98, half, s.expected.size(), s.flags).failed);
}

INSTANTIATE_TEST_SUITE_P(All, PpmdSample, testing::ValuesIn(PpmdSampleNames()),
                         [](const testing::TestParamInfo<std::string>& i) { return i.param; });

TEST(PpmdSizes, DeclaredSizeEndsTheEntry) {
  Sample s = LoadSample("ppmd_7z_text_o6");
  // Shorter than the data: the first bytes.
  auto prefix = DecodeWith(98, s.data, 5000, 0);
  ASSERT_FALSE(prefix.failed) << prefix.error;
  ASSERT_EQ(prefix.output.size(), 5000u);
  EXPECT_TRUE(std::equal(prefix.output.begin(), prefix.output.end(), s.expected.begin()));
  // Longer: the encoder's end mark comes first.
  EXPECT_TRUE(DecodeWith(98, s.data, s.expected.size() + 1, 0).failed);
}

TEST(PpmdSizes, EmptyEntryNeedsNoData) {
  auto r = DecodeWith(98, {}, 0, 0);
  EXPECT_FALSE(r.failed) << r.error;
  EXPECT_TRUE(r.output.empty());
}

TEST(PpmdHeader, BadHeadersFail) {
  Sample s = LoadSample("ppmd_7z_text_o2");
  auto withHeader = [&](unsigned header) {
    std::vector<uint8_t> data = s.data;
    data[0] = static_cast<uint8_t>(header);
    data[1] = static_cast<uint8_t>(header >> 8);
    return data;
  };
  const unsigned orderField = s.data[0] & 0xF;  // order less one
  const unsigned memoryField = ((s.data[0] | s.data[1] << 8) >> 4) & 0xFF;
  struct Case {
    const char* what;
    unsigned header;
  } cases[] = {
      {"order 1", 0u | memoryField << 4},
      {"restoration method 2 (freeze)", orderField | memoryField << 4 | 2u << 12},
      {"restoration method 15", orderField | memoryField << 4 | 15u << 12},
  };
  for (const auto& c : cases) {
    EXPECT_TRUE(DecodeWith(98, withHeader(c.header), s.expected.size(), 0).failed) << c.what;
  }
  EXPECT_TRUE(DecodeWith(98, {s.data[0]}, s.expected.size(), 0).failed) << "header cut short";
  EXPECT_TRUE(DecodeWith(98, {s.data[0], s.data[1]}, s.expected.size(), 0).failed) << "no data after the header";
  // The range decoder's start value may not be all ones.
  EXPECT_TRUE(DecodeWith(98, {s.data[0], s.data[1], 0xFF, 0xFF, 0xFF, 0xFF, 0, 0}, 10, 0).failed);
}

// Random data after a valid header, for each order and restoration method.
TEST(PpmdGarbage, RandomDataNeverOverruns) {
  uint32_t seed = 5;
  struct Case {
    unsigned order, restore;
  } cases[] = {{2, 0}, {3, 1}, {6, 0}, {8, 1}, {12, 0}, {16, 1}};
  for (const auto& c : cases) {
    unsigned header = (c.order - 1) | 0u << 4 | c.restore << 12;  // 1 MB of model memory
    std::vector<uint8_t> data = {static_cast<uint8_t>(header), static_cast<uint8_t>(header >> 8)};
    for (int i = 0; i < 20'000; i++) {
      seed = seed * 1103515245u + 12345u;
      data.push_back(static_cast<uint8_t>(seed >> 16));
    }
    auto r = DecodeWith(98, data, 400'000, 0);
    EXPECT_LE(r.output.size(), 400'000u) << "order " << c.order;
    if (!r.failed) {
      EXPECT_EQ(r.output.size(), 400'000u);
    }
  }
}

}  // namespace
