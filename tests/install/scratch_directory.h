#pragma once
// Test support for the update archive: a fresh current directory per test,
// the archives that make_archives.py built, and small file helpers.
#include <filesystem>
#include <set>
#include <string>

#include <gtest/gtest.h>

namespace fs = std::filesystem;

// The directory of the archives made for this test run (QX_ARCHIVES).
fs::path ArchivesDir();

std::string ReadBytes(const fs::path& path);
void WriteBytes(const fs::path& path, const std::string& bytes);

// A file name as UTF-8, and back.
std::string Utf8Name(const fs::path& path);
fs::path Utf8Path(const std::string& name);

// Names of everything in `dir`, each with a trailing "/" when a directory.
std::set<std::string> ListDirectory(const fs::path& dir);

// Copies every file of `from` into `to`.
void CopyFiles(const fs::path& from, const fs::path& to);

// Makes a file writable and deletable again (attributes, immutability).
void MakeRemovable(const fs::path& path);

// Each test runs in a new, empty current directory, removed afterwards.
class ScratchDirectory : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  const fs::path& Dir() const { return dir_; }

 private:
  fs::path previous_;
  fs::path dir_;
};
