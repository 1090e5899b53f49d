// Faults during the unpacking lose nothing: a file system that fills up and
// an updater killed halfway. Archives are made here by Info-ZIP zip; every
// installed file is checked byte for byte afterwards.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "install/update_archive.h"
#include "scratch_directory.h"

namespace {

using Files = std::vector<std::pair<std::string, std::string>>;

std::string Noise(unsigned seed, size_t size) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

// Runs a shell command; true when it exits with 0.
bool Shell(const std::string& command) { return std::system(command.c_str()) == 0; }

// Stages the files in `staging` and zips them with Info-ZIP zip and these
// options into `archive`.
void MakeArchive(const fs::path& staging, const Files& files, const std::string& options, const fs::path& archive) {
  fs::create_directories(staging);
  std::string names;
  for (const auto& [name, content] : files) {
    WriteBytes(staging / name, content);
    names += " '" + name + "'";
  }
  ASSERT_TRUE(Shell("cd '" + staging.string() + "' && zip -q -X " + options + " '" + archive.string() + "'" + names));
  fs::remove_all(staging);
}

// Names of the temporary files the unpacking leaves in `dir`.
std::vector<std::string> TemporaryFiles(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& item : fs::directory_iterator(dir)) {
    const std::string name = item.path().filename().string();
    if (name.rfind("~qx", 0) == 0) names.push_back(name);
  }
  return names;
}

// Unpacks update.zip of the current directory, as the installation stage does.
void Unpack() {
  TAbUnZipper unzipper;
  UnpackUpdateArchive(unzipper);
}

using UnpackFaults = ScratchDirectory;

// Full file system ---------------------------------------------------------

// A small tmpfs over `dir`, in a mount namespace of this process alone, so
// that it goes with the process whatever happens to the test.
class SmallFileSystem {
 public:
  SmallFileSystem(const fs::path& dir, const std::string& size) : dir_(dir) {
    if (::unshare(CLONE_NEWNS) != 0) {
      why_ = std::string("no mount namespace: ") + std::strerror(errno);
      return;
    }
    // A change of propagation ignores the source and the type.
    if (::mount("none", "/", "none", MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", dir.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, ("size=" + size).c_str()) != 0) {
      why_ = std::string("tmpfs cannot be mounted: ") + std::strerror(errno);
      return;
    }
    mounted_ = true;
  }
  ~SmallFileSystem() {
    if (mounted_) ::umount2(dir_.c_str(), MNT_DETACH);
  }
  bool Mounted() const { return mounted_; }
  const std::string& WhyNot() const { return why_; }

 private:
  fs::path dir_;
  bool mounted_ = false;
  std::string why_;
};

TEST_F(UnpackFaults, AFullFileSystemFailsOnlyTheEntryThatDoesNotFit) {
  const fs::path install = Dir() / "install";
  fs::create_directory(install);
  SmallFileSystem small(install, "1m");
  if (!small.Mounted()) GTEST_SKIP() << small.WhyNot();
  fs::current_path(install);

  // The middle entry, 4 MiB of zeros, cannot fit in 1 MiB; its neighbours can.
  const Files files = {{"before.txt", "before 1.5"}, {"big.bin", std::string(4u << 20, '\0')}, {"after.txt", "after 1.5"}};
  MakeArchive(Dir() / "staging", files, "", install / "update.zip");
  for (const char* name : {"before.txt", "big.bin", "after.txt"}) WriteBytes(install / name, std::string(name) + " 1.4");

  Unpack();

  EXPECT_EQ(ReadBytes(install / "before.txt"), "before 1.5");
  EXPECT_EQ(ReadBytes(install / "big.bin"), "big.bin 1.4");
  EXPECT_EQ(ReadBytes(install / "after.txt"), "after 1.5");
  EXPECT_EQ(ListDirectory(install), (std::set<std::string>{"update.zip", "before.txt", "big.bin", "after.txt"}));
  fs::current_path(Dir());
}

// Killed while unpacking ---------------------------------------------------

// Where the updater is killed: after a delay, or when the temporary file of
// the n-th entry (from 1) appears or has reached half its entry's size.
struct KillPoint {
  const char* name;
  int delayMs;
  int entry;
  bool halfWritten;
};

class Child {
 public:
  // Unpacks the update archive of the current directory in a child process.
  Child() : pid_(::fork()) {
    if (pid_ == 0) {
      Unpack();
      ::_exit(0);
    }
  }
  ~Child() {
    if (pid_ > 0 && Running()) {
      ::kill(pid_, SIGKILL);
      Wait();
    }
  }
  pid_t Pid() const { return pid_; }
  bool Running() {
    if (reaped_) return false;
    if (::waitpid(pid_, &status_, WNOHANG) == 0) return true;
    reaped_ = true;
    return false;
  }
  // The wait status.
  int Wait() {
    if (!reaped_) ::waitpid(pid_, &status_, 0);
    reaped_ = true;
    return status_;
  }

 private:
  pid_t pid_;
  bool reaped_ = false;
  int status_ = 0;
};

// Waits until the point is reached; false when the child ended before.
bool ReachPoint(Child& child, const fs::path& dir, const KillPoint& point, size_t entrySize) {
  if (point.delayMs > 0) {
    ::usleep(static_cast<useconds_t>(point.delayMs) * 1000);
    return child.Running();
  }
  std::vector<std::string> seen;
  while (child.Running()) {
    for (const std::string& name : TemporaryFiles(dir)) {
      if (std::find(seen.begin(), seen.end(), name) == seen.end()) seen.push_back(name);
    }
    if (static_cast<int>(seen.size()) >= point.entry) {
      if (!point.halfWritten) return true;
      std::error_code ec;
      const auto size = fs::file_size(dir / seen[static_cast<size_t>(point.entry) - 1], ec);
      if (ec) return false;  // renamed into place already: the point has passed
      if (size >= entrySize / 2) return true;
    }
    ::usleep(100);
  }
  return false;
}

TEST_F(UnpackFaults, KilledWhileUnpackingEveryFileIsTheOldOrTheNewOne) {
  constexpr size_t kEntrySize = 8u << 20;
  const std::vector<std::string> names = {"one.bin", "two.bin", "three.bin", "four.bin"};
  Files newFiles;
  for (size_t i = 0; i < names.size(); ++i) newFiles.emplace_back(names[i], Noise(static_cast<unsigned>(i + 1), kEntrySize));
  MakeArchive(Dir() / "staging", newFiles, "", Dir() / "update.zip");
  const auto oldContent = [](size_t i) { return "installed " + std::to_string(i) + std::string(kEntrySize / 3, 'o'); };

  const KillPoint points[] = {
      {"after a millisecond", 1, 0, false},
      {"first temporary file appears", 0, 1, false},
      {"first entry half written", 0, 1, true},
      {"second temporary file appears", 0, 2, false},
      {"third entry half written", 0, 3, true},
      {"last entry half written", 0, 4, true},
  };
  int killedMidway = 0;
  for (const KillPoint& point : points) {
    SCOPED_TRACE(point.name);
    for (const std::string& name : TemporaryFiles(Dir())) fs::remove(Dir() / name);
    for (size_t i = 0; i < names.size(); ++i) WriteBytes(Dir() / names[i], oldContent(i));

    Child child;
    ASSERT_GT(child.Pid(), 0);
    if (ReachPoint(child, Dir(), point, kEntrySize)) {
      ::kill(child.Pid(), SIGKILL);
      ++killedMidway;
    }
    child.Wait();

    // Entries are written in order: the new files come first, then the old.
    bool stillOld = false;
    for (size_t i = 0; i < names.size(); ++i) {
      const std::string content = ReadBytes(Dir() / names[i]);
      const bool isNew = content == newFiles[i].second;
      EXPECT_TRUE(isNew || content == oldContent(i)) << names[i] << " is neither: " << content.size() << " bytes";
      EXPECT_FALSE(stillOld && isNew) << names[i] << " is new after an old one";
      stillOld = stillOld || !isNew;
    }
    EXPECT_LE(TemporaryFiles(Dir()).size(), 1u);
  }
  // A loaded machine may let the child finish before a point; most must hit.
  EXPECT_GE(killedMidway, 4);

  // A later run completes over whatever the killed one left.
  Unpack();
  for (size_t i = 0; i < names.size(); ++i) EXPECT_EQ(ReadBytes(Dir() / names[i]), newFiles[i].second) << names[i];
}

}  // namespace
