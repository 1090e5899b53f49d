// An archive of a few KiB that expands to gigabytes of zeros, made by Info-ZIP
// zip, unpacks to disk with the memory of an ordinary one.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "install/update_archive.h"
#include "scratch_directory.h"

namespace {

// The peak resident memory of this process, in KiB, from where it stands now.
class PeakMemory {
 public:
  PeakMemory() {
    std::ofstream("/proc/self/clear_refs") << "5";  // resets the peak to the current size
    start_ = Read("VmHWM:");
  }
  // Whether the reset worked: the peak is then close to the current size.
  bool Available() const { return start_ > 0 && start_ - Read("VmRSS:") < 1024; }
  long GrowthKiB() const { return Read("VmHWM:") - start_; }

 private:
  static long Read(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.rfind(field, 0) == 0) return std::strtol(line.c_str() + field.size(), nullptr, 10);
    }
    return -1;
  }
  long start_ = -1;
};

using UnpackBomb = ScratchDirectory;

TEST_F(UnpackBomb, ATinyArchiveOfGigabytesUnpacksToDiskInBoundedMemory) {
  // bzip2 takes zip half a minute per GiB of zeros, so its run is shorter.
  const struct {
    const char* name;
    const char* zipOptions;
    uint64_t zeros;
  } methods[] = {{"deflated", "", 2ull << 30}, {"bzip2", "-Z bzip2", 1ull << 30}};
  const auto space = fs::space(Dir());
  if (space.available < (3ull << 30)) {
    GTEST_SKIP() << "needs 3 GiB free beside " << Dir() << ", has " << (space.available >> 20) << " MiB";
  }
  for (const auto& method : methods) {
    SCOPED_TRACE(method.name);
    // The entry's name is "-", zip's name for its standard input.
    const std::string zip = "head -c " + std::to_string(method.zeros) + " /dev/zero | zip -q -X " +
                            method.zipOptions + " '" + (Dir() / "update.zip").string() + "' -";
    ASSERT_EQ(std::system(zip.c_str()), 0) << zip;
    const uintmax_t archiveSize = fs::file_size(Dir() / "update.zip");
    WriteBytes(Dir() / "-", "installed");

    PeakMemory peak;
    ASSERT_TRUE(peak.Available()) << "/proc/self/clear_refs cannot reset the peak";
    TAbUnZipper unzipper;
    UnpackUpdateArchive(unzipper);
    const long growth = peak.GrowthKiB();

    // The file took its place, so its CRC-32 matched: all zeros.
    EXPECT_EQ(fs::file_size(Dir() / "-"), method.zeros);
    EXPECT_LT(growth, 64 * 1024) << "KiB";
    std::printf("%s: %ju bytes of archive gave %ju bytes; peak memory grew by %ld KiB\n", method.name, archiveSize,
                static_cast<uintmax_t>(method.zeros), growth);
    fs::remove(Dir() / "-");
    fs::remove(Dir() / "update.zip");
  }
}

}  // namespace
