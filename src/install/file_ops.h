#pragma once
// The file operations of unpacking and removing the update archive that
// differ by platform: Win32 functions on Windows, POSIX ones natively (where
// read-only means no write permission, and hidden and system do not exist).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>

#include "framework/text.h"
#include "install/zip_entry.h"

namespace install {

// A file operation the system refused.
class FileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// `name` inside `directory`, with the platform's separator.
String JoinPath(const String& directory, const String& name);

// The update archive, open for reading; other programs may read and write it
// meanwhile, but not delete it.
class ArchiveFile {
 public:
  // nullptr when no file can be opened for reading at `path`; `missing`
  // then tells whether that is because there is no file.
  static std::unique_ptr<ArchiveFile> Open(const String& path, bool& missing);
  ~ArchiveFile();
  ArchiveFile(const ArchiveFile&) = delete;
  ArchiveFile& operator=(const ArchiveFile&) = delete;

  // nullopt when the size cannot be read.
  std::optional<uint64_t> Size() const;
  // Reads up to `size` bytes at `offset`; fewer only at the end of the file.
  // Throws FileError when the read fails.
  size_t ReadAt(uint64_t offset, uint8_t* buffer, size_t size) const;

  struct Impl;
  explicit ArchiveFile(std::unique_ptr<Impl> impl);

 private:
  std::unique_ptr<Impl> impl_;
};

// The existing file at an entry's target, opened the way the unpacking writes
// it (for writing, others may only read) and held so that nobody else starts
// writing it while its replacement is decoded. Empty when there is no file.
class TargetLock {
 public:
  // nullopt when the existing file may not be replaced: it is read-only,
  // hidden, a system file or a directory, or it cannot be opened so (for
  // example because a running program holds it).
  static std::optional<TargetLock> Acquire(const String& path);
  TargetLock(TargetLock&&) noexcept;
  TargetLock& operator=(TargetLock&&) noexcept;
  ~TargetLock();
  void Release();

  struct Impl;
  explicit TargetLock(std::unique_ptr<Impl> impl);

 private:
  std::unique_ptr<Impl> impl_;
};

// A new file beside the target that takes the target's place only when it is
// complete. Removed when destroyed before that.
class TemporaryFile {
 public:
  // Created exclusively in `directory` under a fresh name "~qx<random>.tmp",
  // never `avoidName`; nullptr when no such file can be created.
  static std::unique_ptr<TemporaryFile> Create(const String& directory, const String& avoidName);
  ~TemporaryFile();
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  const String& Path() const;
  // Writes all bytes; throws FileError otherwise (a full disk included).
  void Write(const uint8_t* data, size_t size);
  // The last-write time from a DOS date and time read as local time; an
  // invalid date or a failure leaves the time as it is.
  void SetLastWriteTime(uint16_t dosDate, uint16_t dosTime);
  // Closes the file and moves it over `target`, replacing an existing file.
  // false when closing or the move fails; the temporary file is then removed
  // with this object, as in every case where it has not taken its place.
  bool ReplaceTarget(const String& target);

  struct Impl;
  explicit TemporaryFile(std::unique_ptr<Impl> impl);

 private:
  std::unique_ptr<Impl> impl_;
};

// Gives a file exactly these attributes; a failure is ignored.
void ApplyAttributes(const String& path, const FileAttributes& attributes);

// Deletes the file at `path`; when that fails and the path is a directory
// link, removes the link. Reports nothing and keeps the system's last error
// of the deletion.
void RemoveFileOrDirectoryLink(const String& path);

}  // namespace install
