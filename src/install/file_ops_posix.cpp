// The native build's file operations. Windows semantics that the unpacking
// relies on are kept where POSIX can express them: a file without write
// permission counts as read-only, and such a file is not deleted.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <ctime>

#include "install/file_ops.h"
#include "install/temp_name.h"

namespace install {

namespace {

constexpr mode_t kAnyWrite = S_IWUSR | S_IWGRP | S_IWOTH;

std::string Native(const String& path) { return StringToUtf8(path); }

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { Reset(); }
  Fd(Fd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) {
      Reset();
      fd_ = other.fd_;
      other.fd_ = -1;
    }
    return *this;
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int Get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }
  // Closes the descriptor; false when the system reports an error.
  bool Reset() {
    if (fd_ < 0) return true;
    const bool ok = ::close(fd_) == 0;
    fd_ = -1;
    return ok;
  }

 private:
  int fd_;
};

}  // namespace

String JoinPath(const String& directory, const String& name) {
  if (directory.empty()) return name;
  if (directory.back() == L'/') return directory + name;
  return directory + L'/' + name;
}

// Archive file -------------------------------------------------------------

struct ArchiveFile::Impl {
  Fd fd;
};

ArchiveFile::ArchiveFile(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
ArchiveFile::~ArchiveFile() = default;

std::unique_ptr<ArchiveFile> ArchiveFile::Open(const String& path, bool& missing) {
  Fd fd(::open(Native(path).c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  missing = !fd.Valid() && (errno == ENOENT || errno == ENOTDIR);
  if (!fd.Valid()) return nullptr;
  struct stat st {};
  // Only a regular file can be an archive; a directory is no file at all.
  if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    missing = S_ISDIR(st.st_mode);
    return nullptr;
  }
  auto impl = std::make_unique<Impl>();
  impl->fd = std::move(fd);
  return std::make_unique<ArchiveFile>(std::move(impl));
}

std::optional<uint64_t> ArchiveFile::Size() const {
  struct stat st {};
  if (::fstat(impl_->fd.Get(), &st) != 0 || st.st_size < 0) return std::nullopt;
  return static_cast<uint64_t>(st.st_size);
}

size_t ArchiveFile::ReadAt(uint64_t offset, uint8_t* buffer, size_t size) const {
  size_t done = 0;
  while (done < size) {
    if (offset + done > static_cast<uint64_t>(LLONG_MAX)) break;
    const ssize_t n = ::pread(impl_->fd.Get(), buffer + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw FileError("archive read failed");
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

// Target lock --------------------------------------------------------------

struct TargetLock::Impl {
  Fd fd;
};

TargetLock::TargetLock(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
TargetLock::TargetLock(TargetLock&&) noexcept = default;
TargetLock& TargetLock::operator=(TargetLock&&) noexcept = default;
TargetLock::~TargetLock() = default;

void TargetLock::Release() { impl_->fd.Reset(); }

std::optional<TargetLock> TargetLock::Acquire(const String& path) {
  auto impl = std::make_unique<Impl>();
  const std::string native = Native(path);
  struct stat st {};
  if (::stat(native.c_str(), &st) != 0) {
    if (errno == ENOENT) return TargetLock(std::move(impl));
    return std::nullopt;
  }
  // Anything but a writable regular file stays as it is (a FIFO would also
  // block the opening).
  if (!S_ISREG(st.st_mode) || (st.st_mode & kAnyWrite) == 0) return std::nullopt;
  impl->fd = Fd(::open(native.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!impl->fd.Valid()) return std::nullopt;
  return TargetLock(std::move(impl));
}

// Temporary file -----------------------------------------------------------

struct TemporaryFile::Impl {
  String path;
  Fd fd;
  bool placed = false;
};

TemporaryFile::TemporaryFile(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

TemporaryFile::~TemporaryFile() {
  impl_->fd.Reset();
  if (!impl_->placed) ::unlink(Native(impl_->path).c_str());
}

std::unique_ptr<TemporaryFile> TemporaryFile::Create(const String& directory, const String& avoidName) {
  for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
    const String path = JoinPath(directory, RandomTemporaryName(avoidName));
    Fd fd(::open(Native(path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666));
    if (fd.Valid()) {
      auto impl = std::make_unique<Impl>();
      impl->path = path;
      impl->fd = std::move(fd);
      return std::make_unique<TemporaryFile>(std::move(impl));
    }
    if (errno != EEXIST) return nullptr;
  }
  return nullptr;
}

const String& TemporaryFile::Path() const { return impl_->path; }

void TemporaryFile::Write(const uint8_t* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(impl_->fd.Get(), data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw FileError("temporary file write failed");
    data += n;
    size -= static_cast<size_t>(n);
  }
}

void TemporaryFile::SetLastWriteTime(uint16_t dosDate, uint16_t dosTime) {
  std::tm local{};
  local.tm_year = 80 + (dosDate >> 9);
  local.tm_mon = ((dosDate >> 5) & 0x0F) - 1;
  local.tm_mday = dosDate & 0x1F;
  local.tm_hour = dosTime >> 11;
  local.tm_min = (dosTime >> 5) & 0x3F;
  local.tm_sec = (dosTime & 0x1F) * 2;
  local.tm_isdst = -1;
  if (local.tm_mon < 0 || local.tm_mon > 11 || local.tm_mday < 1 || local.tm_hour > 23 || local.tm_min > 59 ||
      local.tm_sec > 59) {
    return;
  }
  const std::time_t when = std::mktime(&local);
  if (when == static_cast<std::time_t>(-1)) return;
  const struct timespec times[2] = {{0, UTIME_OMIT}, {when, 0}};
  ::futimens(impl_->fd.Get(), times);
}

bool TemporaryFile::ReplaceTarget(const String& target) {
  if (!impl_->fd.Reset()) return false;
  if (::rename(Native(impl_->path).c_str(), Native(target).c_str()) != 0) return false;
  impl_->placed = true;
  return true;
}

// Attributes and removal ---------------------------------------------------

void ApplyAttributes(const String& path, const FileAttributes& attributes) {
  if (!attributes.readOnly) return;  // a new file is writable; hidden and system do not exist here
  const std::string native = Native(path);
  struct stat st {};
  if (::stat(native.c_str(), &st) == 0) ::chmod(native.c_str(), st.st_mode & ~kAnyWrite & 07777);
}

void RemoveFileOrDirectoryLink(const String& path) {
  const std::string native = Native(path);
  struct stat st {};
  // Windows does not delete a read-only file.
  if (::lstat(native.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & kAnyWrite) == 0) {
    errno = EACCES;
    return;
  }
  // A link, to a directory or not, goes with the unlink itself.
  const int error = ::unlink(native.c_str()) == 0 ? 0 : errno;
  errno = error;
}

}  // namespace install
