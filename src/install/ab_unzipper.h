#pragma once
// The unzip component of the status window: opens one ZIP archive, unpacks
// the entries whose file names match a mask into the current directory, and
// releases the archive. It works with the settings the update relies on,
// which are the component's defaults: no base directory, folders of entry
// names dropped, no password, existing files replaced without asking, failed
// entries passed over without a report, no progress, no log.
#include <cstdint>
#include <memory>
#include <vector>

#include "framework/text.h"
#include "install/ab_exceptions.h"
#include "install/zip_entry.h"

namespace install {
class ArchiveFile;
}

// Options for unpacking, a set of these bits.
enum TAbExtractOption : unsigned {
  eoCreateDirs = 1u << 0,
  eoRestorePath = 1u << 1,
};
using TAbExtractOptions = unsigned;

class TAbUnZipper {
 public:
  TAbUnZipper();
  ~TAbUnZipper();
  TAbUnZipper(const TAbUnZipper&) = delete;
  TAbUnZipper& operator=(const TAbUnZipper&) = delete;

  // The settings; this component has no others than the defaults.
  String BaseDirectory() const { return String(); }  // the current directory
  TAbExtractOptions ExtractOptions() const { return eoCreateDirs; }
  String Password() const { return String(); }
  bool Logging() const { return false; }
  String LogFile() const { return String(); }

  // Opens the archive at `fullPath` and reads its central directory. Raises
  // an EAbException when the file is missing, empty, unreadable, not named
  // ".zip", holds no end record, is one part of a multi-volume archive, or
  // has a damaged central directory; in the last case the file stays held
  // until CloseArchive or the component's end. Writes nothing.
  void OpenArchive(const String& fullPath);

  // Unpacks every file entry whose last name component matches `mask`, in
  // central-directory order, each as that bare name in the current
  // directory. Entries that fail are passed over. Never raises.
  void ExtractFiles(const String& mask);

  // Releases the archive file; writes nothing to it.
  void CloseArchive() noexcept;

  // The open archive's entries in central-directory order.
  int Count() const { return static_cast<int>(items_.size()); }
  const install::ZipEntry& Items(int index) const { return items_.at(static_cast<size_t>(index)); }

 private:
  std::unique_ptr<install::ArchiveFile> archive_;
  bool open_ = false;
  std::vector<install::ZipEntry> items_;
  uint64_t directoryOffset_ = 0;
};
