#include "scratch_directory.h"

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

#ifdef _WIN32
#include "framework/win32/win32_api.h"
#else
#include <sys/stat.h>
#endif

fs::path ArchivesDir() {
  const char* dir = std::getenv("QX_ARCHIVES");
  if (dir == nullptr) return fs::path();
  std::string path = dir;
#ifdef _WIN32
  // Wine shows the Unix root as drive Z:.
  if (!path.empty() && path[0] == '/') {
    for (char& c : path) c = c == '/' ? '\\' : c;
    path = "Z:" + path;
  }
#endif
  return fs::path(path);
}

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string Utf8Name(const fs::path& path) {
  const std::u8string name = path.filename().u8string();
  return std::string(name.begin(), name.end());
}

fs::path Utf8Path(const std::string& name) { return fs::path(std::u8string(name.begin(), name.end())); }

std::set<std::string> ListDirectory(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& item : fs::directory_iterator(dir)) {
    names.insert(Utf8Name(item.path()) + (item.is_directory() ? "/" : ""));
  }
  return names;
}

void CopyFiles(const fs::path& from, const fs::path& to) {
  for (const auto& item : fs::directory_iterator(from)) fs::copy_file(item.path(), to / item.path().filename());
}

void MakeRemovable(const fs::path& path) {
#ifdef _WIN32
  ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
#else
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::chmod(path.c_str(), 0644);
#endif
}

void ScratchDirectory::SetUp() {
  ASSERT_FALSE(ArchivesDir().empty()) << "QX_ARCHIVES names no directory";
  previous_ = fs::current_path();
  std::random_device random;
  dir_ = fs::temp_directory_path() / ("qx-unzip-" + std::to_string(random()));
  fs::create_directories(dir_);
  dir_ = fs::canonical(dir_);
  fs::current_path(dir_);
}

void ScratchDirectory::TearDown() {
  fs::current_path(previous_);
  std::error_code ignored;
  for (const auto& item : fs::recursive_directory_iterator(dir_, ignored)) MakeRemovable(item.path());
  fs::remove_all(dir_, ignored);
}
