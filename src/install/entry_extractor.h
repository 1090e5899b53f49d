#pragma once
// Unpacking one entry of the update archive into its target file.
#include <cstdint>

#include "framework/text.h"
#include "install/file_ops.h"
#include "install/zip_entry.h"

namespace install {

// Writes `entry` as the file `targetName` in `directory`: decoded into a
// temporary file beside the target and moved over it only when complete and
// its CRC-32 matches. Before that, an existing target is checked the way the
// unpacking writes it and held while the entry is decoded. An entry that
// fails at any point (encrypted, damaged local header, unknown method, a
// refused target, damaged data, a CRC mismatch, a full disk) leaves the
// target exactly as it was and no temporary file behind; false then. The
// last-write time and the attributes are the entry's; failing to set them
// is no failure. Never throws.
bool ExtractEntry(const ArchiveFile& archive, uint64_t directoryOffset, const ZipEntry& entry,
                  const String& directory, const String& targetName);

}  // namespace install
