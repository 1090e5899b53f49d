// Entry names: how their bytes are read, which file they are written to, and
// how the mask selects them.
#include <gtest/gtest.h>

#include <string_view>

#include "install/entry_names.h"
#include "install/wildcard.h"

namespace {

using install::DecodeEntryName;
using install::IsValidUtf8;
using install::MatchesMask;
using install::TargetFileName;

TEST(TargetFileName, IsTheLastComponentOrNothing) {
  const struct {
    const wchar_t* entry;
    const wchar_t* target;
  } cases[] = {
      {L"x.dll", L"x.dll"},          {L"bin/tools/x.dll", L"x.dll"}, {L"..\\x.dll", L"x.dll"},
      {L"../../x.dll", L"x.dll"},    {L"C:\\Windows\\x.dll", L"x.dll"}, {L"c:x.dll", L"x.dll"},
      {L"\\\\server\\share\\x", L"x"}, {L"x.dll:stream", L"stream"},   {L"bin/", L""},
      {L"", L""},                    {L"..", L""},                  {L"a/.", L""},
      {L"a/. .", L""},               {L"...x", L"...x"},            {L"NUL", L""},
      {L"dir/Con.txt", L""},         {L"com1", L""},                {L"LPT9.log", L""},
      {L"aux .txt", L""},            {L"com0", L"com0"},            {L"console", L"console"},
      {L"nul2.txt", L"nul2.txt"},
  };
  for (const auto& c : cases) EXPECT_EQ(TargetFileName(c.entry), c.target) << "entry " << testing::PrintToString(String(c.entry));
}

TEST(MatchesMask, StarAndQuestionMarkWithoutRegardToCase) {
  const struct {
    const wchar_t* mask;
    const wchar_t* name;
    bool matches;
  } cases[] = {
      {L"*", L"x.dll", true},       {L"*", L"", false},            {L"*.dll", L"X.DLL", true},
      {L"*.dll", L"x.dl", false},   {L"?.dll", L"x.dll", true},    {L"?.dll", L"xy.dll", false},
      {L"a*b*c", L"aXbYbZc", true}, {L"a*b*c", L"aXbYbZ", false},  {L"**", L"a", true},
      {L"ÄRGER.TXT", L"ärger.txt", true}, {L"*?", L"", false},     {L"x", L"x.dll", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MatchesMask(c.mask, c.name), c.matches)
        << testing::PrintToString(String(c.mask)) << " / " << testing::PrintToString(String(c.name));
  }
}

TEST(EntryNames, Utf8WhenFlaggedOrValidElseOemCodePage) {
  EXPECT_TRUE(IsValidUtf8("Gr\xC3\xBC\xC3\x9F" "e"));
  EXPECT_TRUE(IsValidUtf8("\xF0\x9F\x98\x80"));
  EXPECT_FALSE(IsValidUtf8("\x9A" "bung"));            // CP437 "Ü"
  EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));               // overlong "/"
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));           // a surrogate
  EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));       // beyond U+10FFFF
  EXPECT_FALSE(IsValidUtf8("\xE2\x82"));               // cut short

  EXPECT_EQ(DecodeEntryName("Gr\xC3\xBC\xC3\x9F" "e", 0), L"Grüße");
  EXPECT_EQ(DecodeEntryName("\x9A" "bung gr\x81\xE1" "e", 0), L"Übung grüße");
  // With the flag set the name is UTF-8 even when it is not valid.
  EXPECT_EQ(DecodeEntryName("\x9A", 0x800), L"\xFFFD");
}

// Found by fuzzing: a name with a zero byte was selected and named by all of
// its characters, but written as the file its first part names, or as the
// part after a slash behind the zero.
TEST(EntryNames, AZeroByteEndsTheName) {
  using namespace std::string_view_literals;
  EXPECT_EQ(DecodeEntryName("quorbix.cfg\0tail.txt"sv, 0), L"quorbix.cfg");
  EXPECT_EQ(DecodeEntryName("quorbix.cfg\0/tail.txt"sv, 0), L"quorbix.cfg");
  EXPECT_EQ(DecodeEntryName("Gr\xC3\xBC\0\x9A"sv, 0x800), L"Grü");
  EXPECT_EQ(DecodeEntryName("\x9A\0\xC3\xBC"sv, 0), L"Ü");
  EXPECT_EQ(DecodeEntryName("\0x.dll"sv, 0), L"");
}

}  // namespace
