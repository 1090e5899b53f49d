// The update archive unpacked with UnpackUpdateArchive, one row per archive
// that make_archives.py built: which archives open, and exactly which files
// the current directory holds afterwards.
#include <gtest/gtest.h>

#include <map>

#include "install/codecs/decoder.h"
#include "install/update_archive.h"
#include "scratch_directory.h"

namespace {

enum class Opening { Succeeds, Fails };

struct Case {
  const char* name;
  Opening opening;
  uint16_t method = 0;  // a further method the case needs a decoder for
};

std::ostream& operator<<(std::ostream& out, const Case& c) { return out << c.name; }

const Case kCases[] = {
    // Stored and deflated, as each tool writes them.
    {"stored_infozip", Opening::Succeeds},
    {"stored_7z", Opening::Succeeds},
    {"stored_bsdtar", Opening::Succeeds},
    {"stored_python", Opening::Succeeds},
    {"deflated_infozip", Opening::Succeeds},
    {"deflated_7z", Opening::Succeeds},
    {"deflated_bsdtar", Opening::Succeeds},
    {"deflated_python", Opening::Succeeds},
    // Sizes and CRC in data descriptors after the data.
    {"descriptor_infozip_fd", Opening::Succeeds},
    {"descriptor_infozip_stream", Opening::Succeeds},
    {"descriptor_python_stream", Opening::Succeeds},
    // Zip64 records and extra fields.
    {"zip64_python_forced", Opening::Succeeds},
    {"zip64_infozip_fz", Opening::Succeeds},
    {"zip64_bsdtar", Opening::Succeeds},
    {"zip64_every_field", Opening::Succeeds},
    // The end record behind an archive comment.
    {"comment_infozip", Opening::Succeeds},
    {"comment_longest_with_fake_record", Opening::Succeeds},
    // Names.
    {"utf8_flagged_python", Opening::Succeeds},
    {"utf8_unflagged_infozip", Opening::Succeeds},
    {"utf8_7z", Opening::Succeeds},
    {"cp437_names", Opening::Succeeds},
    {"folders_infozip", Opening::Succeeds},
    {"duplicates", Opening::Succeeds},
    {"parent_and_device_names", Opening::Succeeds},
    {"zero_byte_in_names", Opening::Succeeds},
    {"directory_entries_only", Opening::Succeeds},
    {"symlink_entries", Opening::Succeeds},
    // Edge cases of an update.
    {"encrypted_beside_plain", Opening::Succeeds},
    {"empty_entry", Opening::Succeeds},
    {"empty_archive", Opening::Succeeds},
    {"existing_file_replaced", Opening::Succeeds},
    {"missing", Opening::Fails},
    {"zero_bytes", Opening::Fails},
    {"html_page", Opening::Fails},
    {"multi_volume_last_part", Opening::Fails},
    // The further methods, once their decoders exist.
    {"m9_deflate64_7z", Opening::Succeeds, 9},
    {"m12_bzip2_7z", Opening::Succeeds, 12},
    {"m14_lzma_7z", Opening::Succeeds, 14},
    {"m98_ppmd_7z", Opening::Succeeds, 98},
    // Damaged archives: the central directory makes the opening fail...
    {"bad_central_signature", Opening::Fails},
    {"directory_beyond_file", Opening::Fails},
    {"directory_size_too_large", Opening::Fails},
    {"entry_count_too_large", Opening::Fails},
    {"local_offset_beyond_directory", Opening::Fails},
    {"zip64_marker_without_extra", Opening::Fails},
    {"truncated_archive", Opening::Fails},
    // ...a damaged entry fails alone and leaves the installed file as it was.
    {"bad_local_header", Opening::Succeeds},
    {"crc_mismatch", Opening::Succeeds},
    {"deflate_cut_short", Opening::Succeeds},
    {"more_data_than_size", Opening::Succeeds},
    {"less_data_than_size", Opening::Succeeds},
    {"unknown_method", Opening::Succeeds},
    {"shrunk_method", Opening::Succeeds},
    {"garbage_deflate_data", Opening::Succeeds},
    {"stored_sizes_differ", Opening::Succeeds},
    {"encrypted_flag_only", Opening::Succeeds},
};

std::map<std::string, std::string> FilesIn(const fs::path& dir) {
  std::map<std::string, std::string> files;
  if (!fs::exists(dir)) return files;
  for (const auto& name : ListDirectory(dir)) files[name] = name.back() == '/' ? "" : ReadBytes(dir / Utf8Path(name));
  return files;
}

class UnpackCases : public ScratchDirectory, public ::testing::WithParamInterface<Case> {};

TEST_P(UnpackCases, LeavesExactlyTheExpectedFiles) {
  const Case& c = GetParam();
  if (c.method != 0 && !codecs::MakeDecoder(c.method)) GTEST_SKIP() << "method " << c.method << " is not decoded yet";
  const fs::path archive = ArchivesDir() / (std::string(c.name) + ".zip");
  const fs::path before = ArchivesDir() / (std::string(c.name) + ".before");
  if (fs::exists(archive)) fs::copy_file(archive, Dir() / "update.zip");
  if (fs::exists(before)) CopyFiles(before, Dir());
  const std::string archiveBytes = fs::exists(archive) ? ReadBytes(archive) : std::string();

  TAbUnZipper unzipper;
  if (c.opening == Opening::Fails) {
    auto filesBefore = FilesIn(Dir());
    EXPECT_THROW(UnpackUpdateArchive(unzipper), EAbException);
    EXPECT_EQ(FilesIn(Dir()), filesBefore) << "a failed opening writes nothing";
    return;
  }
  ASSERT_NO_THROW(UnpackUpdateArchive(unzipper));
  auto files = FilesIn(Dir());
  ASSERT_EQ(files.count("update.zip"), 1u);
  EXPECT_EQ(files["update.zip"], archiveBytes) << "the archive is unchanged after closing";
  files.erase("update.zip");
  EXPECT_EQ(files, FilesIn(ArchivesDir() / (std::string(c.name) + ".expected")));
}

INSTANTIATE_TEST_SUITE_P(Archives, UnpackCases, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
