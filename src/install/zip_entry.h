#pragma once
// One entry of the update archive as its central directory describes it, and
// what the unpacking reads from it.
#include <cstdint>
#include <string>

#include "framework/text.h"

namespace install {

struct ZipEntry {
  std::string rawName;  // the name's bytes as stored
  String name;          // decoded: UTF-8 when flagged or valid, else the OEM code page
  uint16_t versionMadeBy = 0;
  uint16_t flags = 0;
  uint16_t method = 0;
  uint16_t dosTime = 0;
  uint16_t dosDate = 0;
  uint32_t crc32 = 0;
  uint32_t externalAttributes = 0;
  uint64_t compressedSize = 0;    // Zip64 values applied
  uint64_t uncompressedSize = 0;  // Zip64 values applied
  uint64_t localHeaderOffset = 0;
};

// The attributes a Windows file can take from an entry.
struct FileAttributes {
  bool readOnly = false;
  bool hidden = false;
  bool system = false;
  bool archive = false;
};

bool IsEncrypted(const ZipEntry& entry);

// A folder rather than a file: the directory attribute (DOS, or a Unix
// directory mode), or a name that ends in a slash or backslash.
bool IsDirectoryEntry(const ZipEntry& entry);

// Entries made on DOS, OS/2 and Windows hosts carry DOS attributes in the low
// byte of their external attributes. Entries made on Unix hosts carry the
// file mode in the high 16 bits; their writers put DOS bits in the low byte
// as well, and a mode without owner write permission also counts as
// read-only. Entries of other hosts give no attributes.
FileAttributes EntryAttributes(const ZipEntry& entry);

}  // namespace install
