// Which executable names the process sweep takes for the host application's.
#include <gtest/gtest.h>

#include <string>

#include "install/host_application.h"

namespace {

using namespace std::string_literals;

struct MatchCase {
  const char* what;
  String exeFile;
  String nameToMatch;
  bool matches;
};

void PrintTo(const MatchCase& c, std::ostream* os) { *os << c.what; }

class ExeNameMatching : public testing::TestWithParam<MatchCase> {};

TEST_P(ExeNameMatching, FollowsTheSweepsRule) {
  const MatchCase& c = GetParam();
  EXPECT_EQ(ExeNameMatches(c.exeFile, c.nameToMatch), c.matches) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Names, ExeNameMatching,
    testing::Values(
        MatchCase{"the exact name", L"quorbix.exe", L"quorbix.exe", true},
        MatchCase{"all capitals", L"QUORBIX.EXE", L"quorbix.exe", true},
        MatchCase{"a capital at the start of each part", L"Quorbix.Exe", L"quorbix.exe", true},
        MatchCase{"capitals in the name to match", L"quorbix.exe", L"QUORBIX.EXE", true},
        MatchCase{"the same letter outside a to z", L"quorbäx.exe", L"quorbäx.exe", true},
        MatchCase{"a letter outside a to z in the other case", L"QUORBÄX.EXE", L"quorbäx.exe", false},
        MatchCase{"Turkish dotless i for i", L"quorb\u0131x.exe", L"quorbix.exe", false},
        MatchCase{"Turkish capital I with dot for i", L"QUORB\u0130X.EXE", L"quorbix.exe", false},
        MatchCase{"the letter K for k", L"DESK.EXE", L"desk.exe", true},
        MatchCase{"the Kelvin sign for k", L"DES\u212A.EXE", L"desk.exe", false},
        MatchCase{"a prefix", L"xquorbix.exe", L"quorbix.exe", false},
        MatchCase{"a second extension", L"quorbix.exe.bak", L"quorbix.exe", false},
        MatchCase{"no extension", L"quorbix", L"quorbix.exe", false},
        MatchCase{"empty", L"", L"quorbix.exe", false},
        MatchCase{"a full path", L"C:\\Programme\\Quorbix\\quorbix.exe", L"quorbix.exe", true},
        MatchCase{"a folder of that name", L"C:\\quorbix.exe\\update.exe", L"quorbix.exe", false},
        MatchCase{"a path ending in a backslash", L"C:\\Quorbix\\", L"quorbix.exe", false},
        MatchCase{"a name after a drive's colon", L"C:quorbix.exe", L"quorbix.exe", true},
        MatchCase{"a stream name after the colon", L"quorbix.exe:stream", L"quorbix.exe", false},
        MatchCase{"slashes do not part a path", L"C:/Quorbix/quorbix.exe", L"quorbix.exe", false},
        MatchCase{"the whole path as the name to match", L"C:\\Quorbix\\quorbix.exe",
                  L"c:\\QUORBIX\\QUORBIX.EXE", true},
        MatchCase{"text after the ending zero", L"quorbix.exe\0.bak"s, L"quorbix.exe", true},
        MatchCase{"a zero inside the name", L"quor\0bix.exe"s, L"quorbix.exe", false},
        MatchCase{"a path after the ending zero", L"quorbix.exe\0C:\\x\\other.exe"s, L"quorbix.exe",
                  true}));

}  // namespace
