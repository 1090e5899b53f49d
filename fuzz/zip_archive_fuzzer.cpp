// Fuzz target: the update archive. The input is written as update.zip into a
// directory of this process's own, opened with the unzip component and
// unpacked with the mask "*" into that directory, as the installation does
// in the host application's directory; then the directory is emptied.
// Covers the end record, the Zip64 records, the central directory, the local
// headers and every decoder behind them.
//
// Afterwards the directory may hold only update.zip and files named after
// entries: no temporary file of a failed entry stays behind.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "install/ab_unzipper.h"
#include "install/entry_names.h"

namespace {

[[noreturn]] void Broken(const char* what, const std::string& name = {}) {
  std::fprintf(stderr, "zip_archive: %s %s\n", what, name.c_str());
  std::abort();
}

// Files an entry may write; beyond this size a write fails, as on a full
// disk, so that archive bombs cost time but no disk.
constexpr rlim_t kMaxFileSize = 8u << 20;

std::vector<std::string> Listing(const std::string& directory) {
  std::vector<std::string> names;
  DIR* dir = opendir(directory.c_str());
  if (dir == nullptr) Broken("cannot list", directory);
  while (const dirent* e = readdir(dir)) {
    const std::string name = e->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(dir);
  return names;
}

// The directory of this process, made on the first input and removed at exit.
class WorkDirectory {
 public:
  WorkDirectory() {
    char pattern[] = "/tmp/qx-fuzz-zip.XXXXXX";
    if (mkdtemp(pattern) == nullptr) Broken("cannot make a directory in /tmp");
    path_ = pattern;
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit {};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = std::min(limit.rlim_max, kMaxFileSize);
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~WorkDirectory() {
    Empty();
    rmdir(path_.c_str());
  }
  const std::string& Path() const { return path_; }

  void Empty() const {
    for (const std::string& name : Listing(path_)) {
      const std::string file = path_ + "/" + name;
      if (unlink(file.c_str()) != 0) Broken("cannot remove", file);
    }
  }

 private:
  std::string path_;
};

WorkDirectory& Work() {
  static WorkDirectory work;
  return work;
}

// Inside the work directory while it lives; libFuzzer's own paths are
// relative to the directory it was started in.
class InsideDirectory {
 public:
  explicit InsideDirectory(const std::string& path) : previous_(open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    if (previous_ < 0 || chdir(path.c_str()) != 0) Broken("cannot enter", path);
  }
  ~InsideDirectory() {
    if (fchdir(previous_) != 0) Broken("cannot go back from the work directory");
    close(previous_);
  }
  InsideDirectory(const InsideDirectory&) = delete;
  InsideDirectory& operator=(const InsideDirectory&) = delete;

 private:
  int previous_;
};

void WriteArchive(const std::string& path, const uint8_t* data, size_t size) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr || std::fwrite(data, 1, size, f) != size || std::fclose(f) != 0) Broken("cannot write", path);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const WorkDirectory& work = Work();
  const std::string archive = work.Path() + "/update.zip";
  WriteArchive(archive, data, size);

  std::set<std::string> allowed = {"update.zip"};
  {
    const InsideDirectory inside(work.Path());
    TAbUnZipper unzipper;
    try {
      unzipper.OpenArchive(Utf8ToString(archive));
      for (int i = 0; i < unzipper.Count(); ++i) {
        const String target = install::TargetFileName(unzipper.Items(i).name);
        if (!target.empty()) allowed.insert(StringToUtf8(target));
      }
      unzipper.ExtractFiles(L"*");
    } catch (const EAbException&) {
      // Only the opening raises, and only these.
    }
    unzipper.CloseArchive();
  }

  for (const std::string& name : Listing(work.Path())) {
    struct stat st {};
    if (lstat((work.Path() + "/" + name).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) Broken("not a file:", name);
    if (allowed.count(name) == 0) Broken("a file that no entry names:", name);
  }
  work.Empty();
  return 0;
}
