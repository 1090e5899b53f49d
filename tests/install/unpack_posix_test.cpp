// The native build's file semantics of the unpacking and the removal: what
// stands for Windows attributes here (no write permission = read-only), the
// local last-write time, a full disk, and links in the current directory.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdlib>
#include <ctime>

#include "install/update_archive.h"
#include "scratch_directory.h"

namespace {

class PosixUnpack : public ScratchDirectory {
 protected:
  void Unpack(const char* archive) {
    fs::copy_file(ArchivesDir() / (std::string(archive) + ".zip"), Dir() / "update.zip",
                  fs::copy_options::overwrite_existing);
    TAbUnZipper unzipper;
    UnpackUpdateArchive(unzipper);
  }
};

bool Writable(const fs::path& path) {
  return (fs::status(path).permissions() & (fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write)) !=
         fs::perms::none;
}

void MakeReadOnly(const fs::path& path) {
  fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
}

TEST_F(PosixUnpack, ReadOnlyTargetStaysWhileTheOtherEntriesAreWritten) {
  WriteBytes(Dir() / "x.dll", "installed");
  MakeReadOnly(Dir() / "x.dll");
  Unpack("folders_infozip");
  EXPECT_EQ(ReadBytes(Dir() / "x.dll"), "installed");
  EXPECT_EQ(ReadBytes(Dir() / "y.dll"), "y");
}

TEST_F(PosixUnpack, DirectoryInTheTargetsPlaceStays) {
  fs::create_directory(Dir() / "x.dll");
  Unpack("folders_infozip");
  EXPECT_TRUE(fs::is_directory(Dir() / "x.dll"));
  EXPECT_EQ(ReadBytes(Dir() / "y.dll"), "y");
}

TEST_F(PosixUnpack, ReadOnlyAttributeOfAnEntryLeavesNoWritePermission) {
  Unpack("attributes");
  fs::copy_file(ArchivesDir() / "attributes_infozip.zip", Dir() / "update.zip", fs::copy_options::overwrite_existing);
  TAbUnZipper unzipper;
  UnpackUpdateArchive(unzipper);
  for (const char* name : {"readonly.txt", "all.txt", "unix-readonly.txt", "infozip-readonly.txt"}) {
    EXPECT_FALSE(Writable(Dir() / name)) << name;
  }
  for (const char* name : {"hidden.txt", "system.txt", "archive.txt", "normal.txt", "unix-writable.txt"}) {
    EXPECT_TRUE(Writable(Dir() / name)) << name;
  }
  // As on Windows, a later update cannot replace the read-only file.
  WriteBytes(Dir() / "readonly.txt.new", "");
  Unpack("attributes");
  EXPECT_EQ(ReadBytes(Dir() / "readonly.txt"), "readonly.txt");
}

class WithTimeZone {
 public:
  explicit WithTimeZone(const char* zone) {
    if (const char* old = std::getenv("TZ")) old_ = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~WithTimeZone() {
    if (old_.empty()) {
      unsetenv("TZ");
    } else {
      setenv("TZ", old_.c_str(), 1);
    }
    tzset();
  }

 private:
  std::string old_;
};

time_t ModificationTime(const fs::path& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0);
  return st.st_mtime;
}

time_t Utc(int year, int month, int day, int hour, int minute, int second) {
  std::tm t{};
  t.tm_year = year - 1900, t.tm_mon = month - 1, t.tm_mday = day;
  t.tm_hour = hour, t.tm_min = minute, t.tm_sec = second;
  return timegm(&t);
}

TEST_F(PosixUnpack, LastWriteTimeIsTheEntrysTimeReadAsLocalTime) {
  WithTimeZone berlin("CET-1CEST,M3.5.0,M10.5.0/3");
  Unpack("times");
  EXPECT_EQ(ModificationTime(Dir() / "winter.txt"), Utc(2021, 1, 4, 4, 6, 8));    // 05:06:08 CET
  EXPECT_EQ(ModificationTime(Dir() / "summer.txt"), Utc(2020, 7, 15, 11, 14, 16));  // 13:14:16 CEST
}

// Writes beyond this size fail as on a full disk.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &old_);
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = old_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, oldHandler_);
  }

 private:
  rlimit old_{};
  void (*oldHandler_)(int) = nullptr;
};

TEST_F(PosixUnpack, FullDiskLeavesTheInstalledFileAndNoTemporaryFile) {
  WriteBytes(Dir() / "data.bin", "installed");
  fs::copy_file(ArchivesDir() / "deflated_python.zip", Dir() / "update.zip");
  {
    FileSizeLimit limit(50'000);  // data.bin has 100000 bytes, the others less
    TAbUnZipper unzipper;
    UnpackUpdateArchive(unzipper);
  }
  EXPECT_EQ(ListDirectory(Dir()),
            (std::set<std::string>{"update.zip", "data.bin", "readme.txt", "tiny.txt", "file.txt"}));
  EXPECT_EQ(ReadBytes(Dir() / "data.bin"), "installed");
  // The entries before (readme.txt) and after the one that failed are whole.
  for (const char* name : {"readme.txt", "tiny.txt", "file.txt"}) {
    EXPECT_EQ(ReadBytes(Dir() / name), ReadBytes(ArchivesDir() / "deflated_python.expected" / name)) << name;
  }
}

TEST_F(PosixUnpack, LinksInTheTargetsPlaceAreReplacedNotFollowed) {
  const fs::path outside = Dir() / "outside";
  fs::create_directory(outside);
  fs::create_directory(Dir() / "install");
  fs::current_path(Dir() / "install");
  WriteBytes(outside / "x.dll", "outside");
  fs::create_symlink(outside / "x.dll", Dir() / "install" / "x.dll");
  fs::create_symlink(outside / "missing.dll", Dir() / "install" / "y.dll");
  fs::copy_file(ArchivesDir() / "folders_infozip.zip", "update.zip");
  TAbUnZipper unzipper;
  UnpackUpdateArchive(unzipper);
  EXPECT_EQ(ReadBytes(outside / "x.dll"), "outside");
  EXPECT_EQ(ListDirectory(outside), std::set<std::string>{"x.dll"});
  for (const char* name : {"x.dll", "y.dll"}) EXPECT_FALSE(fs::is_symlink(Dir() / "install" / name)) << name;
  EXPECT_EQ(ReadBytes(Dir() / "install" / "x.dll"), "x");
}

TEST_F(PosixUnpack, SymbolicLinkEntriesBecomePlainFiles) {
  Unpack("symlink_entries");
  EXPECT_FALSE(fs::is_symlink(Dir() / "link.txt"));
  EXPECT_FALSE(fs::is_symlink(Dir() / "dirlink"));
}

TEST_F(PosixUnpack, RemovalDeletesTheArchiveOrALinkInItsPlace) {
  EXPECT_NO_THROW(RemoveUpdateArchive());  // nothing there
  WriteBytes(Dir() / "update.zip", "archive");
  RemoveUpdateArchive();
  EXPECT_FALSE(fs::exists(Dir() / "update.zip"));

  fs::create_directory(Dir() / "folder");
  fs::create_directory_symlink(Dir() / "folder", Dir() / "update.zip");
  RemoveUpdateArchive();
  EXPECT_FALSE(fs::exists(fs::symlink_status(Dir() / "update.zip")));
  EXPECT_TRUE(fs::is_directory(Dir() / "folder"));
}

TEST_F(PosixUnpack, RemovalLeavesAReadOnlyArchiveAndADirectory) {
  WriteBytes(Dir() / "update.zip", "archive");
  MakeReadOnly(Dir() / "update.zip");
  RemoveUpdateArchive();
  EXPECT_EQ(ReadBytes(Dir() / "update.zip"), "archive");
  MakeRemovable(Dir() / "update.zip");
  fs::remove(Dir() / "update.zip");

  fs::create_directory(Dir() / "update.zip");
  RemoveUpdateArchive();
  EXPECT_TRUE(fs::is_directory(Dir() / "update.zip"));
}

}  // namespace
