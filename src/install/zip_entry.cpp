#include "install/zip_entry.h"

#include "install/zip_records.h"

namespace install {

namespace {

constexpr uint32_t kUnixTypeMask = 0170000;
constexpr uint32_t kUnixDirectory = 0040000;
constexpr uint32_t kUnixOwnerWrite = 0200;

uint8_t HostOf(const ZipEntry& entry) { return static_cast<uint8_t>(entry.versionMadeBy >> 8); }

bool IsDosHost(uint8_t host) {
  return host == zip::kHostMsDos || host == zip::kHostOs2Hpfs || host == zip::kHostNtfs ||
         host == zip::kHostNtfsInfoZip || host == zip::kHostVfat;
}

bool IsUnixHost(uint8_t host) { return host == zip::kHostUnix || host == zip::kHostOsx; }

uint32_t UnixMode(const ZipEntry& entry) { return entry.externalAttributes >> 16; }

FileAttributes FromDosBits(uint32_t bits) {
  FileAttributes a;
  a.readOnly = (bits & zip::kDosReadOnly) != 0;
  a.hidden = (bits & zip::kDosHidden) != 0;
  a.system = (bits & zip::kDosSystem) != 0;
  a.archive = (bits & zip::kDosArchive) != 0;
  return a;
}

}  // namespace

bool IsEncrypted(const ZipEntry& entry) { return (entry.flags & zip::kFlagEncrypted) != 0; }

bool IsDirectoryEntry(const ZipEntry& entry) {
  if (!entry.name.empty() && (entry.name.back() == L'/' || entry.name.back() == L'\\')) return true;
  const uint8_t host = HostOf(entry);
  if ((IsDosHost(host) || IsUnixHost(host)) && (entry.externalAttributes & zip::kDosDirectory) != 0) {
    return true;
  }
  return IsUnixHost(host) && (UnixMode(entry) & kUnixTypeMask) == kUnixDirectory;
}

FileAttributes EntryAttributes(const ZipEntry& entry) {
  const uint8_t host = HostOf(entry);
  if (IsDosHost(host)) return FromDosBits(entry.externalAttributes);
  if (!IsUnixHost(host)) return {};
  FileAttributes a = FromDosBits(entry.externalAttributes);
  const uint32_t mode = UnixMode(entry);
  // A mode of 0 means the writer left the mode out, not that nobody may write.
  if ((mode & kUnixTypeMask) != 0 && (mode & kUnixOwnerWrite) == 0) a.readOnly = true;
  return a;
}

}  // namespace install
