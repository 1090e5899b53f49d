// The unzip component on its own: the checks of the opening, the entries it
// reads (also from large archives), the mask of ExtractFiles, and the path
// of the update archive.
#include <gtest/gtest.h>

#include <functional>

#include "install/ab_unzipper.h"
#include "install/update_archive.h"
#include "scratch_directory.h"

namespace {

String Wide(const fs::path& path) { return path.wstring(); }

String ArchivePath(const char* name) { return Wide(ArchivesDir() / (std::string(name) + ".zip")); }

class Unzipper : public ScratchDirectory {};

struct OpeningFailure {
  const char* archive;
  std::function<void(TAbUnZipper&, const String&)> expectThrow;
};

template <class E>
std::function<void(TAbUnZipper&, const String&)> Raises() {
  return [](TAbUnZipper& unzipper, const String& path) { EXPECT_THROW(unzipper.OpenArchive(path), E); };
}

TEST_F(Unzipper, EachOpeningCheckRaisesItsOwnFailure) {
  const OpeningFailure failures[] = {
      {"missing", Raises<EAbFileNotFound>()},
      {"zero_bytes", Raises<EAbEmptyArchive>()},
      {"html_page", Raises<EAbNoZipArchive>()},
      {"truncated_archive", Raises<EAbNoZipArchive>()},
      {"multi_volume_last_part", Raises<EAbMultiVolumeArchive>()},
      {"bad_central_signature", Raises<EAbBadCentralDirectory>()},
      {"directory_beyond_file", Raises<EAbBadCentralDirectory>()},
      {"local_offset_beyond_directory", Raises<EAbBadCentralDirectory>()},
  };
  for (const auto& failure : failures) {
    SCOPED_TRACE(failure.archive);
    TAbUnZipper unzipper;
    failure.expectThrow(unzipper, ArchivePath(failure.archive));
    EXPECT_EQ(unzipper.Count(), 0);
  }
  EXPECT_TRUE(ListDirectory(Dir()).empty());
}

TEST_F(Unzipper, OnlyTheZipExtensionInAnyCaseMarksAnArchive) {
  const std::string bytes = ReadBytes(ArchivesDir() / "deflated_python.zip");
  WriteBytes(Dir() / "UPDATE.ZIP", bytes);
  WriteBytes(Dir() / "update.Zip", bytes);
  WriteBytes(Dir() / "update.txt", bytes);
  WriteBytes(Dir() / "update", bytes);
  TAbUnZipper unzipper;
  EXPECT_NO_THROW(unzipper.OpenArchive(Wide(Dir() / "UPDATE.ZIP")));
  EXPECT_NO_THROW(unzipper.OpenArchive(Wide(Dir() / "update.Zip")));
  EXPECT_THROW(unzipper.OpenArchive(Wide(Dir() / "update.txt")), EAbNoZipArchive);
  EXPECT_THROW(unzipper.OpenArchive(Wide(Dir() / "update")), EAbNoZipArchive);
  EXPECT_THROW(unzipper.OpenArchive(Wide(Dir())), EAbException) << "a directory is no archive";
}

TEST_F(Unzipper, ReadsEntriesInCentralDirectoryOrder) {
  TAbUnZipper unzipper;
  unzipper.OpenArchive(ArchivePath("folders_infozip"));
  ASSERT_EQ(unzipper.Count(), 3);
  EXPECT_EQ(unzipper.Items(0).name, L"x.dll");
  EXPECT_EQ(unzipper.Items(1).name, L"bin/");
  EXPECT_EQ(unzipper.Items(2).name, L"bin/y.dll");
  unzipper.CloseArchive();
  EXPECT_EQ(unzipper.Count(), 0);
}

TEST_F(Unzipper, ReadsMoreThan65535EntriesFromTheZip64EndRecord) {
  TAbUnZipper unzipper;
  unzipper.OpenArchive(ArchivePath("many_entries"));
  ASSERT_EQ(unzipper.Count(), 70000);
  EXPECT_EQ(unzipper.Items(69999).name, L"f69999.txt");
  unzipper.ExtractFiles(L"f6999?.txt");
  EXPECT_EQ(ListDirectory(Dir()).size(), 10u);
  EXPECT_EQ(ReadBytes(Dir() / "f69999.txt"), "69999");
}

TEST_F(Unzipper, ReadsAnEntryBeyondFourGibibytes) {
  TAbUnZipper unzipper;
  unzipper.OpenArchive(ArchivePath("beyond_4gib"));
  ASSERT_EQ(unzipper.Count(), 2);
  EXPECT_EQ(unzipper.Items(0).uncompressedSize, (4ull << 30) + (1ull << 20));
  EXPECT_GT(unzipper.Items(1).localHeaderOffset, 4ull << 30);
  unzipper.ExtractFiles(L"small.txt");
  EXPECT_EQ(ListDirectory(Dir()), std::set<std::string>{"small.txt"});
  EXPECT_EQ(ReadBytes(Dir() / "small.txt"), "beyond four gibibytes");
}

TEST_F(Unzipper, MaskSelectsByLastNameComponentWithoutRegardToCase) {
  TAbUnZipper unzipper;
  unzipper.OpenArchive(ArchivePath("parent_and_device_names"));
  unzipper.ExtractFiles(L"EVIL?.DLL");
  EXPECT_EQ(ListDirectory(Dir()), (std::set<std::string>{"evil2.dll", "evil3.dll", "evil4.dll"}));
}

TEST_F(Unzipper, ExtractingWithoutAnOpenArchiveDoesNothing) {
  TAbUnZipper unzipper;
  EXPECT_NO_THROW(unzipper.ExtractFiles(L"*"));
  EXPECT_THROW(unzipper.OpenArchive(ArchivePath("bad_central_signature")), EAbBadCentralDirectory);
  EXPECT_NO_THROW(unzipper.ExtractFiles(L"*"));
  EXPECT_NO_THROW(unzipper.CloseArchive());
  EXPECT_TRUE(ListDirectory(Dir()).empty());
}

TEST_F(Unzipper, TheUpdateArchiveIsUpdateZipInTheCurrentDirectory) {
  EXPECT_EQ(UpdateArchivePath(), Wide(Dir() / "update.zip"));
}

}  // namespace
