#include "install/entry_extractor.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <vector>

#include "install/codecs/decoder.h"
#include "install/zip_records.h"

namespace install {

namespace {

constexpr size_t kSinkBufferSize = 256 * 1024;

// The entry's compressed bytes, straight from the archive file.
class ArchiveDataSource : public codecs::ByteSource {
 public:
  ArchiveDataSource(const ArchiveFile& archive, uint64_t offset, uint64_t size)
      : archive_(archive), at_(offset), left_(size) {}

  size_t Read(uint8_t* buffer, size_t capacity) override {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(capacity, left_));
    if (want == 0) return 0;
    const size_t got = archive_.ReadAt(at_, buffer, want);
    // The file was cut short after it was opened.
    if (got == 0) throw codecs::DecodeError("archive ends inside the entry's data");
    at_ += got;
    left_ -= got;
    return got;
  }

 private:
  const ArchiveFile& archive_;
  uint64_t at_;
  uint64_t left_;
};

// Counts and checksums the decoded bytes on their way into the temporary
// file; small writes are gathered, large ones go straight through.
class TemporaryFileSink : public codecs::ByteSink {
 public:
  TemporaryFileSink(TemporaryFile& file, uint64_t expectedSize)
      : file_(file), expected_(expectedSize), buffer_(kSinkBufferSize) {}

  void Write(const uint8_t* data, size_t size) override {
    if (size > expected_ - written_) throw codecs::DecodeError("more data than the entry's size");
    written_ += size;
    crc_ = crc32_z(crc_, data, size);
    if (size >= buffer_.size()) {
      Flush();
      file_.Write(data, size);
      return;
    }
    if (size > buffer_.size() - pending_) Flush();
    std::memcpy(buffer_.data() + pending_, data, size);
    pending_ += size;
  }

  void Flush() {
    if (pending_ == 0) return;
    file_.Write(buffer_.data(), pending_);
    pending_ = 0;
  }

  uint64_t Written() const { return written_; }
  uint32_t Crc() const { return static_cast<uint32_t>(crc_); }

 private:
  TemporaryFile& file_;
  uint64_t expected_;
  uint64_t written_ = 0;
  uLong crc_ = crc32_z(0, nullptr, 0);
  std::vector<uint8_t> buffer_;
  size_t pending_ = 0;
};

// Where the entry's data begins, from its local header; 0 when the header
// is damaged, encrypted or its data does not fit before the directory.
uint64_t DataOffset(const ArchiveFile& archive, const ZipEntry& entry, uint64_t directoryOffset) {
  std::array<uint8_t, zip::kLocalHeaderSize> h{};
  if (archive.ReadAt(entry.localHeaderOffset, h.data(), h.size()) != h.size()) return 0;
  if (zip::Le32(h.data()) != zip::kLocalHeaderSignature) return 0;
  if ((zip::Le16(h.data() + 6) & zip::kFlagEncrypted) != 0) return 0;
  const uint64_t data = entry.localHeaderOffset + zip::kLocalHeaderSize + zip::Le16(h.data() + 26) +
                        zip::Le16(h.data() + 28);
  if (data > directoryOffset || entry.compressedSize > directoryOffset - data) return 0;
  return data;
}

bool Extract(const ArchiveFile& archive, uint64_t directoryOffset, const ZipEntry& entry, const String& directory,
             const String& targetName) {
  if (IsEncrypted(entry)) return false;
  const uint64_t dataOffset = DataOffset(archive, entry, directoryOffset);
  if (dataOffset == 0) return false;
  const std::unique_ptr<codecs::Decoder> decoder = codecs::MakeDecoder(entry.method);
  if (!decoder) return false;

  const String target = JoinPath(directory, targetName);
  std::optional<TargetLock> lock = TargetLock::Acquire(target);
  if (!lock) return false;
  const std::unique_ptr<TemporaryFile> temporary = TemporaryFile::Create(directory, targetName);
  if (!temporary) return false;

  ArchiveDataSource source(archive, dataOffset, entry.compressedSize);
  TemporaryFileSink sink(*temporary, entry.uncompressedSize);
  codecs::EntryParameters parameters;
  parameters.uncompressedSize = entry.uncompressedSize;
  parameters.generalPurposeFlags = entry.flags;
  decoder->Decode(source, sink, parameters);
  sink.Flush();
  if (sink.Written() != entry.uncompressedSize || sink.Crc() != entry.crc32) return false;

  temporary->SetLastWriteTime(entry.dosDate, entry.dosTime);
  lock->Release();
  if (!temporary->ReplaceTarget(target)) return false;
  ApplyAttributes(target, EntryAttributes(entry));
  return true;
}

}  // namespace

bool ExtractEntry(const ArchiveFile& archive, uint64_t directoryOffset, const ZipEntry& entry,
                  const String& directory, const String& targetName) {
  try {
    return Extract(archive, directoryOffset, entry, directory, targetName);
  } catch (...) {
    // Damaged data, a full disk, too little memory: the entry is passed over.
    return false;
  }
}

}  // namespace install
