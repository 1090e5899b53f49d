#pragma once
// A streaming decoder for one compression method of ZIP entries. Compressed
// bytes are pulled from a source and decoded bytes pushed to a sink through
// bounded buffers, so memory does not grow with the entry's size.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

namespace codecs {

// Compressed data of one entry. Read returns 0 only at the end of the data.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual size_t Read(uint8_t* buffer, size_t capacity) = 0;
};

// Where decoded bytes go. Write takes every byte or throws.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual void Write(const uint8_t* data, size_t size) = 0;
};

// Data that cannot be decoded: damaged, cut short, or asking for more memory
// than an entry may have.
class DecodeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct EntryParameters {
  uint64_t uncompressedSize = 0;  // from the central directory (Zip64 applied)
  uint16_t generalPurposeFlags = 0;  // bit 1 for LZMA: an end marker is present
};

// Largest dictionary or model an entry may ask for.
constexpr uint64_t kMaxDecoderMemory = 256ull << 20;

class Decoder {
 public:
  virtual ~Decoder() = default;
  // Decodes the whole entry. Throws DecodeError on damaged or truncated data.
  virtual void Decode(ByteSource& in, ByteSink& out, const EntryParameters& entry) = 0;
};

// The decoder for a ZIP compression method, or nullptr when the method is
// not decoded.
std::unique_ptr<Decoder> MakeDecoder(uint16_t method);

}  // namespace codecs
