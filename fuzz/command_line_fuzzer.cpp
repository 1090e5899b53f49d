// Fuzz target: the split of the program's command line into items, by which
// the installed version text is taken from it, directly and through
// ParamStr on the headless platform.
//
// Input: one byte of flags (bit 0: 16-bit characters), then the command line.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "framework/headless/session.h"
#include "framework/sysutils.h"
#include "fuzz_input.h"
#include "fuzz_text.h"

namespace {

[[noreturn]] void Broken(const char* what) {
  std::fprintf(stderr, "command_line: %s\n", what);
  std::abort();
}

// The items up to the first empty one.
std::vector<String> Items(const String& line) {
  std::vector<String> items;
  for (int i = 0;; ++i) {
    String item = CommandLineItem(line, i);
    if (item.empty()) {
      // Only the end of the line gives an empty item, so all after it are empty too.
      if (!CommandLineItem(line, i + 1).empty() || !CommandLineItem(line, i + 2).empty()) {
        Broken("an item after an empty one");
      }
      return items;
    }
    if (static_cast<size_t>(i) > line.size()) Broken("more items than characters");
    items.push_back(std::move(item));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzing::InputReader in(data, size);
  const bool wide = in.Bit();
  const String line = fuzzing::TextFromBytes(in.Rest(), wide);

  const std::vector<String> items = Items(line);
  for (const String& item : items) {
    if (item.find(L'"') != String::npos) Broken("an item keeps a quote character");
    if (item.find(L'\0') != String::npos) Broken("an item reaches beyond the end of the line");
  }

  // Each item quoted and the items joined by blanks: the split gives them back.
  String joined;
  for (const String& item : items) joined += L" \"" + item + L"\"";
  if (Items(joined) != items) Broken("the quoted items do not split into the same items");

  headless::Session session;
  session.commandLine = line;
  if (ParamStr(1) != CommandLineItem(line, 1) || ParamStr(2) != CommandLineItem(line, 2)) {
    Broken("ParamStr differs from the split of the raw command line");
  }
  if (ParamStr(0) != session.moduleFileName) Broken("ParamStr(0) is not the program's path");
  return 0;
}
