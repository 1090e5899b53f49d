// The Windows file operations, with the share modes the unpacking promises:
// the archive is read while others may read and write it (not delete it), a
// target is written while others may only read it.
#include "framework/win32/win32_api.h"
#include "install/file_ops.h"
#include "install/temp_name.h"

namespace install {

namespace {

constexpr DWORD kMaxTransfer = 1u << 30;
constexpr DWORD kRefusedAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY;

}  // namespace

String JoinPath(const String& directory, const String& name) {
  if (directory.empty()) return name;
  const wchar_t last = directory.back();
  if (last == L'\\' || last == L'/' || last == L':') return directory + name;
  return directory + L'\\' + name;
}

// Archive file -------------------------------------------------------------

struct ArchiveFile::Impl {
  win32::Handle file;
};

ArchiveFile::ArchiveFile(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
ArchiveFile::~ArchiveFile() = default;

std::unique_ptr<ArchiveFile> ArchiveFile::Open(const String& path, bool& missing) {
  win32::Handle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    const DWORD error = ::GetLastError();
    missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    return nullptr;
  }
  missing = false;
  auto impl = std::make_unique<Impl>();
  impl->file = std::move(file);
  return std::make_unique<ArchiveFile>(std::move(impl));
}

std::optional<uint64_t> ArchiveFile::Size() const {
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(impl_->file.get(), &size) || size.QuadPart < 0) return std::nullopt;
  return static_cast<uint64_t>(size.QuadPart);
}

size_t ArchiveFile::ReadAt(uint64_t offset, uint8_t* buffer, size_t size) const {
  size_t done = 0;
  while (done < size) {
    const uint64_t at = offset + done;
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(at);
    where.OffsetHigh = static_cast<DWORD>(at >> 32);
    const DWORD want = size - done > kMaxTransfer ? kMaxTransfer : static_cast<DWORD>(size - done);
    DWORD got = 0;
    if (!::ReadFile(impl_->file.get(), buffer + done, want, &got, &where)) {
      if (::GetLastError() == ERROR_HANDLE_EOF) break;
      throw FileError("archive read failed");
    }
    if (got == 0) break;
    done += got;
  }
  return done;
}

// Target lock --------------------------------------------------------------

struct TargetLock::Impl {
  win32::Handle file;
};

TargetLock::TargetLock(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
TargetLock::TargetLock(TargetLock&&) noexcept = default;
TargetLock& TargetLock::operator=(TargetLock&&) noexcept = default;
TargetLock::~TargetLock() = default;

void TargetLock::Release() { impl_->file.reset(); }

std::optional<TargetLock> TargetLock::Acquire(const String& path) {
  auto impl = std::make_unique<Impl>();
  impl->file.reset(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!impl->file) {
    if (::GetLastError() == ERROR_FILE_NOT_FOUND) return TargetLock(std::move(impl));
    return std::nullopt;
  }
  // Read from the open file: the attributes are what a writer is refused
  // for, even where the system would let this process write (Wine as root).
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(impl->file.get(), &info)) return std::nullopt;
  if ((info.dwFileAttributes & kRefusedAttributes) != 0) return std::nullopt;
  return TargetLock(std::move(impl));
}

// Temporary file -----------------------------------------------------------

struct TemporaryFile::Impl {
  String path;
  win32::Handle file;
  bool placed = false;
};

TemporaryFile::TemporaryFile(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

TemporaryFile::~TemporaryFile() {
  impl_->file.reset();
  if (!impl_->placed) ::DeleteFileW(impl_->path.c_str());
}

std::unique_ptr<TemporaryFile> TemporaryFile::Create(const String& directory, const String& avoidName) {
  for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
    const String path = JoinPath(directory, RandomTemporaryName(avoidName));
    win32::Handle file(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (file) {
      auto impl = std::make_unique<Impl>();
      impl->path = path;
      impl->file = std::move(file);
      return std::make_unique<TemporaryFile>(std::move(impl));
    }
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return nullptr;
  }
  return nullptr;
}

const String& TemporaryFile::Path() const { return impl_->path; }

void TemporaryFile::Write(const uint8_t* data, size_t size) {
  while (size > 0) {
    const DWORD want = size > kMaxTransfer ? kMaxTransfer : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!::WriteFile(impl_->file.get(), data, want, &written, nullptr) || written == 0) {
      throw FileError("temporary file write failed");
    }
    data += written;
    size -= written;
  }
}

void TemporaryFile::SetLastWriteTime(uint16_t dosDate, uint16_t dosTime) {
  FILETIME local{};
  FILETIME utc{};
  if (::DosDateTimeToFileTime(dosDate, dosTime, &local) && ::LocalFileTimeToFileTime(&local, &utc)) {
    ::SetFileTime(impl_->file.get(), nullptr, nullptr, &utc);
  }
}

bool TemporaryFile::ReplaceTarget(const String& target) {
  impl_->file.reset();
  if (!::MoveFileExW(impl_->path.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) return false;
  impl_->placed = true;
  return true;
}

// Attributes and removal ---------------------------------------------------

void ApplyAttributes(const String& path, const FileAttributes& attributes) {
  DWORD bits = 0;
  if (attributes.readOnly) bits |= FILE_ATTRIBUTE_READONLY;
  if (attributes.hidden) bits |= FILE_ATTRIBUTE_HIDDEN;
  if (attributes.system) bits |= FILE_ATTRIBUTE_SYSTEM;
  if (attributes.archive) bits |= FILE_ATTRIBUTE_ARCHIVE;
  ::SetFileAttributesW(path.c_str(), bits == 0 ? FILE_ATTRIBUTE_NORMAL : bits);
}

void RemoveFileOrDirectoryLink(const String& path) {
  if (::DeleteFileW(path.c_str())) return;
  const DWORD error = ::GetLastError();
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
      (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    ::RemoveDirectoryW(path.c_str());
  } else {
    ::SetLastError(error);
  }
}

}  // namespace install
