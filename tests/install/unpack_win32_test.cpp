// Windows file semantics of the unpacking and the removal, with the real
// Win32 code: attributes of existing targets and of entries, targets in use,
// the local last-write time, the temporary file of a failing entry, how the
// open archive is shared, and directory links in the archive's place.
#include <gtest/gtest.h>

#include "framework/win32/win32_api.h"
#include "install/update_archive.h"
#include "scratch_directory.h"

namespace {

class Win32Unpack : public ScratchDirectory {
 protected:
  void PlaceArchive(const char* archive) {
    fs::copy_file(ArchivesDir() / (std::string(archive) + ".zip"), Dir() / "update.zip",
                  fs::copy_options::overwrite_existing);
  }
  void Unpack(const char* archive) {
    PlaceArchive(archive);
    TAbUnZipper unzipper;
    UnpackUpdateArchive(unzipper);
  }
  String Path(const char* name) const { return (Dir() / name).wstring(); }
  DWORD Attributes(const char* name) const { return ::GetFileAttributesW(Path(name).c_str()); }
  void SetAttributes(const char* name, DWORD attributes) const {
    ASSERT_TRUE(::SetFileAttributesW(Path(name).c_str(), attributes));
  }
};

TEST_F(Win32Unpack, ReadOnlyHiddenAndSystemTargetsStay) {
  // As root, Wine would write through a read-only file; the unpacking must
  // refuse it by its attribute all the same.
  for (const DWORD attribute : {FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_SYSTEM}) {
    SCOPED_TRACE(attribute);
    WriteBytes(Dir() / "x.dll", "installed");
    SetAttributes("x.dll", attribute);
    fs::remove(Dir() / "y.dll");
    Unpack("folders_infozip");
    EXPECT_EQ(ReadBytes(Dir() / "x.dll"), "installed");
    EXPECT_EQ(Attributes("x.dll") & attribute, attribute);
    EXPECT_EQ(ReadBytes(Dir() / "y.dll"), "y");
    SetAttributes("x.dll", FILE_ATTRIBUTE_NORMAL);
  }
}

TEST_F(Win32Unpack, TargetHeldOpenByAnotherProgramStays) {
  WriteBytes(Dir() / "x.dll", "installed");
  // Open the way a running program holds its files: others may only read.
  win32::Handle holder(::CreateFileW(Path("x.dll").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(holder);
  Unpack("folders_infozip");
  holder.reset();
  EXPECT_EQ(ReadBytes(Dir() / "x.dll"), "installed");
  EXPECT_EQ(ReadBytes(Dir() / "y.dll"), "y");
  EXPECT_EQ(ListDirectory(Dir()), (std::set<std::string>{"update.zip", "x.dll", "y.dll"}));
}

TEST_F(Win32Unpack, ExecutableOfARunningProcessStays) {
  // A copy of this test program, started and left waiting, is the program in use.
  wchar_t self[MAX_PATH];
  ASSERT_GT(::GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
  ASSERT_TRUE(::CopyFileW(self, Path("x.dll").c_str(), FALSE));
  const std::string image = ReadBytes(Dir() / "x.dll");
  String commandLine = L"\"" + Path("x.dll") + L"\" --gtest_filter=Helper.WaitForever";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               &process));
  win32::Handle processHandle(process.hProcess);
  win32::Handle threadHandle(process.hThread);
  ::WaitForInputIdle(process.hProcess, 2000);
  ::Sleep(500);
  Unpack("folders_infozip");
  ::TerminateProcess(process.hProcess, 0);
  ::WaitForSingleObject(process.hProcess, 10000);
  EXPECT_EQ(ReadBytes(Dir() / "x.dll"), image);
  EXPECT_EQ(ReadBytes(Dir() / "y.dll"), "y");
}

TEST(Helper, WaitForever) {
  // Only as the running program of the test above.
  if (GTEST_FLAG_GET(filter) != "Helper.WaitForever") GTEST_SKIP();
  ::Sleep(60000);
}

TEST_F(Win32Unpack, AttributesOfEntriesAreApplied) {
  Unpack("attributes");
  constexpr DWORD R = FILE_ATTRIBUTE_READONLY, H = FILE_ATTRIBUTE_HIDDEN, S = FILE_ATTRIBUTE_SYSTEM;
  const struct {
    const char* name;
    DWORD attributes;
    const char* content;
  } expected[] = {
      {"readonly.txt", R, "readonly.txt"},  {"hidden.txt", H, "hidden.txt"},
      {"system.txt", S, "system.txt"},      {"all.txt", R | H | S, "all.txt"},
      {"archive.txt", 0, "archive.txt"},    {"normal.txt", 0, "normal.txt"},
      {"unix-readonly.txt", R, "r"},        {"unix-writable.txt", 0, "w"},
  };
  for (const auto& e : expected) {
    EXPECT_EQ(Attributes(e.name) & (R | H | S), e.attributes) << e.name;
  }
  // Wine gives every file the archive attribute; only its presence is seen.
  for (const char* name : {"readonly.txt", "archive.txt", "all.txt"}) {
    EXPECT_NE(Attributes(name) & FILE_ATTRIBUTE_ARCHIVE, 0u) << name;
  }
  // The read-only, hidden and system files cannot be replaced by a later
  // update; the others can.
  for (const auto& e : expected) {
    if (e.attributes == 0) WriteBytes(Dir() / e.name, "changed");
  }
  Unpack("attributes");
  for (const auto& e : expected) EXPECT_EQ(ReadBytes(Dir() / e.name), e.content) << e.name;
}

SYSTEMTIME LocalLastWriteTime(const String& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  EXPECT_TRUE(::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data));
  FILETIME local{};
  SYSTEMTIME time{};
  ::FileTimeToLocalFileTime(&data.ftLastWriteTime, &local);
  ::FileTimeToSystemTime(&local, &time);
  return time;
}

TEST_F(Win32Unpack, LastWriteTimeIsTheEntrysLocalTime) {
  Unpack("times");
  const SYSTEMTIME winter = LocalLastWriteTime(Path("winter.txt"));
  EXPECT_EQ(std::vector<int>({winter.wYear, winter.wMonth, winter.wDay, winter.wHour, winter.wMinute, winter.wSecond}),
            std::vector<int>({2021, 1, 4, 5, 6, 8}));
  const SYSTEMTIME summer = LocalLastWriteTime(Path("summer.txt"));
  EXPECT_EQ(std::vector<int>({summer.wYear, summer.wMonth, summer.wDay, summer.wHour, summer.wMinute, summer.wSecond}),
            std::vector<int>({2020, 7, 15, 13, 14, 16}));
}

TEST_F(Win32Unpack, FailingEntriesLeaveTheInstalledFileAndNoTemporaryFile) {
  for (const char* archive : {"crc_mismatch", "deflate_cut_short", "garbage_deflate_data", "more_data_than_size"}) {
    SCOPED_TRACE(archive);
    WriteBytes(Dir() / "victim.txt", "the installed version");
    Unpack(archive);
    EXPECT_EQ(ReadBytes(Dir() / "victim.txt"), "the installed version");
    EXPECT_EQ(ListDirectory(Dir()), (std::set<std::string>{"update.zip", "first.txt", "victim.txt", "last.txt"}));
  }
}

TEST_F(Win32Unpack, OpenArchiveMayBeReadAndWrittenButNotDeleted) {
  PlaceArchive("deflated_python");
  TAbUnZipper unzipper;
  unzipper.OpenArchive(UpdateArchivePath());
  win32::Handle other(::CreateFileW(UpdateArchivePath().c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
  EXPECT_TRUE(other) << "others may read and write the open archive";
  other.reset();
  EXPECT_FALSE(::DeleteFileW(UpdateArchivePath().c_str()));
  unzipper.CloseArchive();
  EXPECT_TRUE(::DeleteFileW(UpdateArchivePath().c_str()));
}

TEST_F(Win32Unpack, ArchiveWithADamagedDirectoryStaysHeldUntilClosed) {
  PlaceArchive("bad_central_signature");
  TAbUnZipper unzipper;
  EXPECT_THROW(unzipper.OpenArchive(UpdateArchivePath()), EAbBadCentralDirectory);
  EXPECT_FALSE(::DeleteFileW(UpdateArchivePath().c_str()));
  unzipper.CloseArchive();
  EXPECT_TRUE(::DeleteFileW(UpdateArchivePath().c_str()));
}

TEST_F(Win32Unpack, RemovalLeavesNothingToDoAndAReadOnlyArchiveAlone) {
  ::SetLastError(0);
  RemoveUpdateArchive();
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  WriteBytes(Dir() / "update.zip", "archive");
  SetAttributes("update.zip", FILE_ATTRIBUTE_READONLY);
  RemoveUpdateArchive();
  EXPECT_EQ(ReadBytes(Dir() / "update.zip"), "archive");
  SetAttributes("update.zip", FILE_ATTRIBUTE_NORMAL);
  RemoveUpdateArchive();
  EXPECT_FALSE(fs::exists(Dir() / "update.zip"));
}

// FSCTL_SET_REPARSE_POINT and IO_REPARSE_TAG_MOUNT_POINT, which the lean
// Windows headers leave out.
constexpr DWORD kSetReparsePoint = 0x000900A4;
constexpr DWORD kMountPointTag = 0xA0000003;

// The layout of a mount point's reparse data (a junction).
struct MountPointReparseData {
  DWORD tag;
  WORD dataLength;
  WORD reserved;
  WORD substituteOffset;
  WORD substituteLength;
  WORD printOffset;
  WORD printLength;
  wchar_t names[MAX_PATH * 2];
};

bool MakeJunction(const String& link, const String& target) {
  if (!::CreateDirectoryW(link.c_str(), nullptr)) return false;
  win32::Handle handle(::CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!handle) return false;
  const String substitute = L"\\??\\" + target;
  MountPointReparseData data{};
  data.tag = kMountPointTag;
  data.substituteOffset = 0;
  data.substituteLength = static_cast<WORD>(substitute.size() * sizeof(wchar_t));
  data.printOffset = static_cast<WORD>(data.substituteLength + sizeof(wchar_t));
  data.printLength = static_cast<WORD>(target.size() * sizeof(wchar_t));
  substitute.copy(data.names, substitute.size());
  target.copy(data.names + substitute.size() + 1, target.size());
  data.dataLength = static_cast<WORD>(8 + data.printOffset + data.printLength + sizeof(wchar_t));
  DWORD returned = 0;
  return ::DeviceIoControl(handle.get(), kSetReparsePoint, &data, data.dataLength + 8u, nullptr, 0, &returned,
                           nullptr) != 0;
}

TEST_F(Win32Unpack, RemovalTakesADirectoryLinkButNotADirectory) {
  ASSERT_TRUE(::CreateDirectoryW(Path("folder").c_str(), nullptr));
  WriteBytes(Dir() / "folder" / "inside.txt", "inside");
  // A symbolic link, else a junction; a system that makes neither (Wine)
  // has no directory links to remove.
  ::CreateSymbolicLinkW(Path("update.zip").c_str(), Path("folder").c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY);
  if (Attributes("update.zip") == INVALID_FILE_ATTRIBUTES) {
    ::RemoveDirectoryW(Path("update.zip").c_str());
    MakeJunction(Path("update.zip"), Path("folder"));
  }
  constexpr DWORD kLink = FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY;
  if ((Attributes("update.zip") & kLink) != kLink || Attributes("update.zip") == INVALID_FILE_ATTRIBUTES) {
    ::RemoveDirectoryW(Path("update.zip").c_str());
    GTEST_SKIP() << "this system makes no directory links";
  }
  RemoveUpdateArchive();
  EXPECT_EQ(Attributes("update.zip"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(ReadBytes(Dir() / "folder" / "inside.txt"), "inside");

  ASSERT_TRUE(::CreateDirectoryW(Path("update.zip").c_str(), nullptr));
  RemoveUpdateArchive();
  EXPECT_NE(Attributes("update.zip") & FILE_ATTRIBUTE_DIRECTORY, 0u);
}

}  // namespace
