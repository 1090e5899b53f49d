#pragma once
// Reading the update archive's table of contents: the end record (found also
// behind an archive comment), the Zip64 records, and the central directory.
#include <cstdint>
#include <vector>

#include "framework/text.h"
#include "install/file_ops.h"
#include "install/zip_entry.h"

namespace install {

// Where the end record is and what it says.
struct EndRecord {
  uint64_t position = 0;  // of the record in the file
  uint16_t diskNumber = 0;
  uint16_t directoryDisk = 0;
  uint16_t entriesOnDisk = 0;
  uint16_t entryCount = 0;
  uint32_t directorySize = 0;
  uint32_t directoryOffset = 0;
};

struct CentralDirectory {
  std::vector<ZipEntry> entries;  // in the order they stand in the directory
  uint64_t offset = 0;            // every entry's data lies before it
};

// Finds the end-of-central-directory record in the last 64 KiB + 22 bytes of
// a file of `fileSize` bytes. Raises EAbNoZipArchive without one and
// EAbMultiVolumeArchive when it names a disk other than 0; `path` is for the
// message.
EndRecord FindEndRecord(const ArchiveFile& file, uint64_t fileSize, const String& path);

// Reads the Zip64 records where the archive has them, checks the directory
// against the file's bounds and reads every header. Raises
// EAbBadCentralDirectory on anything damaged, EAbMultiVolumeArchive when the
// Zip64 records name another disk.
CentralDirectory ReadCentralDirectory(const ArchiveFile& file, const EndRecord& end, const String& path);

}  // namespace install
