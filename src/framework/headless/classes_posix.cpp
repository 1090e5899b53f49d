#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "framework/classes.h"
#include "framework/sysutils.h"

struct TFileStream::Impl {
  int fd = -1;
};

TFileStream::TFileStream(const String& fileName, uint16_t mode) : impl_(std::make_unique<Impl>()) {
  const int flags = (mode & 0xFF00) == fmCreate ? O_RDWR | O_CREAT | O_TRUNC : O_RDWR;
  impl_->fd = ::open(StringToUtf8(fileName).c_str(), flags | O_CLOEXEC, 0666);
  if (impl_->fd < 0) throw EStreamError(L"Datei " + fileName + L" kann nicht erstellt werden");
}

TFileStream::~TFileStream() {
  if (impl_->fd >= 0) ::close(impl_->fd);
}

void TFileStream::WriteBuffer(const void* data, size_t count) {
  const char* p = static_cast<const char*>(data);
  while (count > 0) {
    const ssize_t n = ::write(impl_->fd, p, count);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw EStreamError(L"Stream-Schreibfehler");
    p += n;
    count -= static_cast<size_t>(n);
  }
}
