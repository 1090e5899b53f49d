#include "install/central_directory.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "install/ab_exceptions.h"
#include "install/entry_names.h"
#include "install/zip_records.h"

namespace install {

namespace {

// Bytes of one region of the file, read front to back through a fixed buffer.
class RegionReader {
 public:
  RegionReader(const ArchiveFile& file, uint64_t begin, uint64_t end) : file_(file), at_(begin), end_(end) {}

  // false when the region ends first.
  bool Read(uint8_t* out, size_t size) {
    while (size > 0) {
      if (next_ == filled_ && !Refill()) return false;
      const size_t n = std::min(size, filled_ - next_);
      std::memcpy(out, buffer_.data() + next_, n);
      next_ += n;
      out += n;
      size -= n;
    }
    return true;
  }

  bool Skip(size_t size) {
    while (size > 0) {
      if (next_ == filled_ && !Refill()) return false;
      const size_t n = std::min(size, filled_ - next_);
      next_ += n;
      size -= n;
    }
    return true;
  }

 private:
  bool Refill() {
    if (at_ >= end_) return false;
    const size_t want = static_cast<size_t>(std::min<uint64_t>(buffer_.size(), end_ - at_));
    filled_ = file_.ReadAt(at_, buffer_.data(), want);
    next_ = 0;
    at_ += filled_;
    return filled_ > 0;
  }

  const ArchiveFile& file_;
  uint64_t at_;
  uint64_t end_;
  std::array<uint8_t, 64 * 1024> buffer_{};
  size_t next_ = 0;
  size_t filled_ = 0;
};

struct DirectoryBounds {
  uint64_t entryCount = 0;
  uint64_t size = 0;
  uint64_t offset = 0;
  uint64_t limit = 0;  // the directory ends at or before this position
};

bool ReadExactly(const ArchiveFile& file, uint64_t offset, uint8_t* buffer, size_t size) {
  return file.ReadAt(offset, buffer, size) == size;
}

DirectoryBounds ClassicBounds(const EndRecord& end) {
  return {end.entryCount, end.directorySize, end.directoryOffset, end.position};
}

// The Zip64 end record, when a locator stands right before the end record.
// Its values stand for the end record's.
std::optional<DirectoryBounds> Zip64Bounds(const ArchiveFile& file, const EndRecord& end, const String& path) {
  if (end.position < zip::kZip64LocatorSize) return std::nullopt;
  const uint64_t locatorAt = end.position - zip::kZip64LocatorSize;
  std::array<uint8_t, zip::kZip64LocatorSize> locator{};
  if (!ReadExactly(file, locatorAt, locator.data(), locator.size()) ||
      zip::Le32(locator.data()) != zip::kZip64LocatorSignature) {
    return std::nullopt;
  }
  const uint32_t recordDisk = zip::Le32(locator.data() + 4);
  const uint64_t recordAt = zip::Le64(locator.data() + 8);
  const uint32_t totalDisks = zip::Le32(locator.data() + 16);
  if (recordDisk != 0 || totalDisks > 1) throw EAbMultiVolumeArchive(path);

  std::array<uint8_t, zip::kZip64EndRecordSize> record{};
  if (recordAt > locatorAt || locatorAt - recordAt < record.size() ||
      !ReadExactly(file, recordAt, record.data(), record.size()) ||
      zip::Le32(record.data()) != zip::kZip64EndRecordSignature) {
    throw EAbBadCentralDirectory(path);
  }
  const uint32_t diskNumber = zip::Le32(record.data() + 16);
  const uint32_t directoryDisk = zip::Le32(record.data() + 20);
  const uint64_t entriesOnDisk = zip::Le64(record.data() + 24);
  DirectoryBounds bounds;
  bounds.entryCount = zip::Le64(record.data() + 32);
  bounds.size = zip::Le64(record.data() + 40);
  bounds.offset = zip::Le64(record.data() + 48);
  bounds.limit = recordAt;
  if (diskNumber != 0 || directoryDisk != 0 || entriesOnDisk != bounds.entryCount) {
    throw EAbMultiVolumeArchive(path);
  }
  return bounds;
}

// Values in the Zip64 extra field, present in this order for each header
// field that holds the marker.
bool ApplyZip64Extra(std::string_view extra, ZipEntry& entry, bool sizeMarked, bool compressedMarked,
                     bool offsetMarked) {
  size_t at = 0;
  while (extra.size() - at >= 4) {
    const auto* p = reinterpret_cast<const uint8_t*>(extra.data() + at);
    const uint16_t id = zip::Le16(p);
    const uint16_t size = zip::Le16(p + 2);
    if (extra.size() - at - 4 < size) break;
    if (id == zip::kZip64ExtraId) {
      const uint8_t* value = p + 4;
      const uint8_t* valueEnd = value + size;
      auto take = [&](uint64_t& field) {
        if (valueEnd - value < 8) return false;
        field = zip::Le64(value);
        value += 8;
        return true;
      };
      return (!sizeMarked || take(entry.uncompressedSize)) && (!compressedMarked || take(entry.compressedSize)) &&
             (!offsetMarked || take(entry.localHeaderOffset));
    }
    at += 4u + size;
  }
  return !sizeMarked && !compressedMarked && !offsetMarked;
}

// One central-directory header; false when it is damaged.
bool ReadHeader(RegionReader& reader, ZipEntry& entry) {
  std::array<uint8_t, zip::kCentralHeaderSize> h{};
  if (!reader.Read(h.data(), h.size()) || zip::Le32(h.data()) != zip::kCentralHeaderSignature) return false;
  entry.versionMadeBy = zip::Le16(h.data() + 4);
  entry.flags = zip::Le16(h.data() + 8);
  entry.method = zip::Le16(h.data() + 10);
  entry.dosTime = zip::Le16(h.data() + 12);
  entry.dosDate = zip::Le16(h.data() + 14);
  entry.crc32 = zip::Le32(h.data() + 16);
  const uint32_t compressed = zip::Le32(h.data() + 20);
  const uint32_t uncompressed = zip::Le32(h.data() + 24);
  const uint16_t nameLength = zip::Le16(h.data() + 28);
  const uint16_t extraLength = zip::Le16(h.data() + 30);
  const uint16_t commentLength = zip::Le16(h.data() + 32);
  entry.externalAttributes = zip::Le32(h.data() + 38);
  const uint32_t offset = zip::Le32(h.data() + 42);

  entry.rawName.resize(nameLength);
  std::string extra(extraLength, '\0');
  if (!reader.Read(reinterpret_cast<uint8_t*>(entry.rawName.data()), nameLength) ||
      !reader.Read(reinterpret_cast<uint8_t*>(extra.data()), extraLength) || !reader.Skip(commentLength)) {
    return false;
  }
  entry.compressedSize = compressed;
  entry.uncompressedSize = uncompressed;
  entry.localHeaderOffset = offset;
  if (!ApplyZip64Extra(extra, entry, uncompressed == zip::kZip64Marker32, compressed == zip::kZip64Marker32,
                       offset == zip::kZip64Marker32)) {
    return false;
  }
  entry.name = DecodeEntryName(entry.rawName, entry.flags);
  return true;
}

// An entry's local header and data must lie before the directory.
bool FitsBefore(const ZipEntry& entry, uint64_t directoryOffset) {
  if (entry.localHeaderOffset > directoryOffset || directoryOffset - entry.localHeaderOffset < zip::kLocalHeaderSize) {
    return false;
  }
  return entry.compressedSize <= directoryOffset - entry.localHeaderOffset - zip::kLocalHeaderSize;
}

}  // namespace

EndRecord FindEndRecord(const ArchiveFile& file, uint64_t fileSize, const String& path) {
  const size_t tailSize = static_cast<size_t>(std::min<uint64_t>(fileSize, zip::kEndRecordSize + zip::kMaxCommentSize));
  if (tailSize < zip::kEndRecordSize) throw EAbNoZipArchive(path);
  std::vector<uint8_t> tail(tailSize);
  const uint64_t tailAt = fileSize - tailSize;
  if (!ReadExactly(file, tailAt, tail.data(), tailSize)) throw EAbReadError(path);

  // The record whose comment reaches exactly to the end of the file; failing
  // that, the last one whose comment fits (bytes were appended after it).
  size_t found = SIZE_MAX;
  size_t fitting = SIZE_MAX;
  for (size_t p = tailSize - zip::kEndRecordSize + 1; p-- > 0;) {
    if (zip::Le32(tail.data() + p) != zip::kEndRecordSignature) continue;
    const size_t end = p + zip::kEndRecordSize + zip::Le16(tail.data() + p + 20);
    if (end == tailSize) {
      found = p;
      break;
    }
    if (end < tailSize && fitting == SIZE_MAX) fitting = p;
  }
  if (found == SIZE_MAX) found = fitting;
  if (found == SIZE_MAX) throw EAbNoZipArchive(path);

  const uint8_t* r = tail.data() + found;
  EndRecord end;
  end.position = tailAt + found;
  end.diskNumber = zip::Le16(r + 4);
  end.directoryDisk = zip::Le16(r + 6);
  end.entriesOnDisk = zip::Le16(r + 8);
  end.entryCount = zip::Le16(r + 10);
  end.directorySize = zip::Le32(r + 12);
  end.directoryOffset = zip::Le32(r + 16);
  // The Zip64 marker in a field leaves the check to the Zip64 end record.
  auto otherDisk = [](uint16_t disk) { return disk != 0 && disk != zip::kZip64Marker16; };
  if (otherDisk(end.diskNumber) || otherDisk(end.directoryDisk) ||
      (end.entriesOnDisk != end.entryCount && end.entriesOnDisk != zip::kZip64Marker16 &&
       end.entryCount != zip::kZip64Marker16)) {
    throw EAbMultiVolumeArchive(path);
  }
  return end;
}

CentralDirectory ReadCentralDirectory(const ArchiveFile& file, const EndRecord& end, const String& path) {
  const DirectoryBounds bounds = Zip64Bounds(file, end, path).value_or(ClassicBounds(end));
  if (bounds.offset > bounds.limit || bounds.size > bounds.limit - bounds.offset ||
      bounds.entryCount > bounds.size / zip::kCentralHeaderSize) {
    throw EAbBadCentralDirectory(path);
  }
  CentralDirectory directory;
  directory.offset = bounds.offset;
  directory.entries.reserve(static_cast<size_t>(std::min<uint64_t>(bounds.entryCount, 1u << 16)));
  RegionReader reader(file, bounds.offset, bounds.offset + bounds.size);
  for (uint64_t i = 0; i < bounds.entryCount; ++i) {
    ZipEntry entry;
    if (!ReadHeader(reader, entry) || !FitsBefore(entry, bounds.offset)) throw EAbBadCentralDirectory(path);
    directory.entries.push_back(std::move(entry));
  }
  return directory;
}

}  // namespace install
