#include <gtest/gtest.h>

#include "framework/sysutils.h"

TEST(CommandLine, ItemsSplitByTheProgramsRules) {
  const struct {
    const wchar_t* line;
    const wchar_t* first;   // item 1: the installed version
    const wchar_t* second;  // item 2
  } cases[] = {
      {L"update.exe 1.4", L"1.4", L""},
      {L"\"C:\\Program Files\\Quorbix\\update.exe\" 1.4", L"1.4", L""},
      {L"update.exe", L"", L""},
      {L"update.exe   ", L"", L""},
      {L"update.exe \t 1.4 \t 2", L"1.4", L"2"},
      // Every control character separates items.
      {L"update.exe\x01" L"1.4\x1f" L"x", L"1.4", L"x"},
      // Empty quoted arguments do not count, also several in a row.
      {L"update.exe \"\" 1.4", L"1.4", L""},
      {L"update.exe \"\"\"\" 1.4", L"1.4", L""},
      {L"update.exe \"\"   \"\" 1.4 x", L"1.4", L"x"},
      {L"update.exe \"\"", L"", L""},
      // Quoted stretches keep their blanks and lose their quotes.
      {L"update.exe \" 1.4 \"", L" 1.4 ", L""},
      {L"update.exe 1\" \"4 x", L"1 4", L"x"},
      {L"update.exe \"1.4", L"1.4", L""},  // open quote runs to the end
      {L"update.exe \"a b\"c\"d e\" f", L"a bcd e", L"f"},
      // No escape for a double quote.
      {L"update.exe a\\\"b c\" d", L"a\\b c", L"d"},
      // "" inside an item is an empty quoted stretch.
      {L"update.exe 1\"\".4", L"1.4", L""},
      {L"update.exe 1.4 \"\"", L"1.4", L""},
      // Characters above 127 belong to items.
      {L"update.exe \x00e4" L"1\x00a0" L"2", L"\x00e4" L"1\x00a0" L"2", L""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CommandLineItem(c.line, 1), c.first) << StringToUtf8(c.line);
    EXPECT_EQ(CommandLineItem(c.line, 2), c.second) << StringToUtf8(c.line);
  }
}

TEST(CommandLine, ItemZeroIsTheProgramPath) {
  EXPECT_EQ(CommandLineItem(L"  \"C:\\Quorbix 2\\update.exe\" 1.4", 0), L"C:\\Quorbix 2\\update.exe");
  EXPECT_EQ(CommandLineItem(L"", 0), L"");
}
