#pragma once
// The ZIP records the update archive is read from, laid out as PKWARE's
// APPNOTE gives them: signatures, fixed sizes and little-endian fields.
#include <cstddef>
#include <cstdint>

namespace install::zip {

constexpr uint32_t kLocalHeaderSignature = 0x04034b50;
constexpr uint32_t kCentralHeaderSignature = 0x02014b50;
constexpr uint32_t kEndRecordSignature = 0x06054b50;
constexpr uint32_t kZip64EndRecordSignature = 0x06064b50;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;

constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kCentralHeaderSize = 46;
constexpr size_t kEndRecordSize = 22;
constexpr size_t kZip64EndRecordSize = 56;
constexpr size_t kZip64LocatorSize = 20;
constexpr size_t kMaxCommentSize = 0xFFFF;

// Header fields that hold this value have their real value in Zip64 records.
constexpr uint16_t kZip64Marker16 = 0xFFFF;
constexpr uint32_t kZip64Marker32 = 0xFFFFFFFF;
constexpr uint16_t kZip64ExtraId = 0x0001;

// General purpose flags.
constexpr uint16_t kFlagEncrypted = 1u << 0;
constexpr uint16_t kFlagUtf8Name = 1u << 11;

// High byte of "version made by": the host system the entry was made on.
// Hosts that keep DOS attributes in the low byte of the external attributes:
// FAT, OS/2 HPFS, NTFS (10 in APPNOTE, 11 as Info-ZIP numbers it) and VFAT.
constexpr uint8_t kHostMsDos = 0;
constexpr uint8_t kHostUnix = 3;
constexpr uint8_t kHostOs2Hpfs = 6;
constexpr uint8_t kHostNtfs = 10;
constexpr uint8_t kHostNtfsInfoZip = 11;
constexpr uint8_t kHostVfat = 14;
constexpr uint8_t kHostOsx = 19;

// DOS attribute bits of the external attributes.
constexpr uint32_t kDosReadOnly = 0x01;
constexpr uint32_t kDosHidden = 0x02;
constexpr uint32_t kDosSystem = 0x04;
constexpr uint32_t kDosDirectory = 0x10;
constexpr uint32_t kDosArchive = 0x20;

inline uint16_t Le16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline uint64_t Le64(const uint8_t* p) {
  return static_cast<uint64_t>(Le32(p)) | (static_cast<uint64_t>(Le32(p + 4)) << 32);
}

}  // namespace install::zip
