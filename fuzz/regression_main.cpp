// Runs a fuzz target once over each file of the given corpus directories (or
// over given files), without libFuzzer: the corpus as a regression test of
// the native build. A finding aborts, as it would under libFuzzer.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
// Defined by the targets that prepare something once, as libFuzzer allows.
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

std::vector<std::filesystem::path> Inputs(const std::filesystem::path& path) {
  std::vector<std::filesystem::path> files;
  if (std::filesystem::is_directory(path)) {
    for (const auto& entry : std::filesystem::directory_iterator(path)) {
      if (entry.is_regular_file()) files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
  } else {
    files.push_back(path);
  }
  return files;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s CORPUS_DIR_OR_FILE...\n", argv[0]);
    return 2;
  }
  if (LLVMFuzzerInitialize != nullptr) LLVMFuzzerInitialize(&argc, &argv);
  size_t count = 0;
  for (int i = 1; i < argc; ++i) {
    const std::vector<std::filesystem::path> files = Inputs(argv[i]);
    if (files.empty()) {
      std::fprintf(stderr, "no inputs in %s\n", argv[i]);
      return 1;
    }
    for (const auto& file : files) {
      std::ifstream in(file, std::ios::binary);
      if (!in) {
        std::fprintf(stderr, "cannot read %s\n", file.c_str());
        return 1;
      }
      const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      // A copy of exactly the input's size, so that reads past its end are caught.
      std::vector<uint8_t> data(bytes.begin(), bytes.end());
      LLVMFuzzerTestOneInput(data.empty() ? nullptr : data.data(), data.size());
      ++count;
    }
  }
  std::printf("%zu inputs run\n", count);
  return 0;
}
