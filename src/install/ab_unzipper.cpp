#include "install/ab_unzipper.h"

#include "framework/sysutils.h"
#include "install/central_directory.h"
#include "install/entry_extractor.h"
#include "install/entry_names.h"
#include "install/file_ops.h"
#include "install/wildcard.h"

namespace {

bool HasZipExtension(const String& path) {
  static constexpr wchar_t kExtension[] = L".zip";
  constexpr size_t n = 4;
  if (path.size() < n) return false;
  for (size_t i = 0; i < n; ++i) {
    wchar_t c = path[path.size() - n + i];
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + 32);
    if (c != kExtension[i]) return false;
  }
  return true;
}

}  // namespace

TAbUnZipper::TAbUnZipper() = default;
TAbUnZipper::~TAbUnZipper() = default;

void TAbUnZipper::OpenArchive(const String& fullPath) {
  CloseArchive();
  bool missing = false;
  std::unique_ptr<install::ArchiveFile> file = install::ArchiveFile::Open(fullPath, missing);
  if (!file) {
    if (missing) throw EAbFileNotFound(fullPath);
    throw EAbReadError(fullPath);
  }
  try {
    const std::optional<uint64_t> size = file->Size();
    if (!size) throw EAbReadError(fullPath);
    if (*size == 0) throw EAbEmptyArchive(fullPath);
    if (!HasZipExtension(fullPath)) throw EAbNoZipArchive(fullPath);
    const install::EndRecord end = install::FindEndRecord(*file, *size, fullPath);

    // From here the component holds the file, also when its directory
    // turns out to be damaged.
    archive_ = std::move(file);
    install::CentralDirectory directory = install::ReadCentralDirectory(*archive_, end, fullPath);
    items_ = std::move(directory.entries);
    directoryOffset_ = directory.offset;
    open_ = true;
  } catch (const install::FileError&) {
    throw EAbReadError(fullPath);
  }
}

void TAbUnZipper::ExtractFiles(const String& mask) {
  if (!open_) return;
  try {
    const String directory = GetCurrentDir();
    for (const install::ZipEntry& entry : items_) {
      const String targetName = install::TargetFileName(entry.name);
      if (!install::MatchesMask(mask, targetName) || install::IsDirectoryEntry(entry)) continue;
      install::ExtractEntry(*archive_, directoryOffset_, entry, directory, targetName);
    }
  } catch (...) {
    // Only the opening reports failures.
  }
}

void TAbUnZipper::CloseArchive() noexcept {
  archive_.reset();
  items_.clear();
  directoryOffset_ = 0;
  open_ = false;
}
