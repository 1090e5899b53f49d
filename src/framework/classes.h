#pragma once
// Streams: the byte sink the HTTP client writes a download into.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "framework/text.h"

class TStream {
 public:
  virtual ~TStream() = default;
  // Writes all bytes or raises EStreamError.
  virtual void WriteBuffer(const void* data, size_t count) = 0;
};

// A stream held in memory; used for small bodies.
class TMemoryStream : public TStream {
 public:
  void WriteBuffer(const void* data, size_t count) override {
    bytes_.append(static_cast<const char*>(data), count);
  }
  const std::string& Bytes() const { return bytes_; }

 private:
  std::string bytes_;
};

constexpr uint16_t fmCreate = 0xFF00;
constexpr uint16_t fmShareDenyNone = 0x0040;

// A file opened by name. With fmCreate an existing file is emptied in place,
// otherwise a new one is made; it is open for reading and writing and, with
// fmShareDenyNone, others may read and write it but not delete or rename it.
// Raises EStreamError when the file cannot be created.
class TFileStream : public TStream {
 public:
  TFileStream(const String& fileName, uint16_t mode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;
  void WriteBuffer(const void* data, size_t count) override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};
