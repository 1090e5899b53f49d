#include "framework/classes.h"
#include "framework/sysutils.h"
#include "framework/win32/win32_api.h"

struct TFileStream::Impl {
  win32::Handle file;
};

TFileStream::TFileStream(const String& fileName, uint16_t mode) : impl_(std::make_unique<Impl>()) {
  const DWORD share = (mode & 0x00F0) == fmShareDenyNone ? FILE_SHARE_READ | FILE_SHARE_WRITE : 0;
  const DWORD disposition = (mode & 0xFF00) == fmCreate ? CREATE_ALWAYS : OPEN_EXISTING;
  impl_->file.reset(::CreateFileW(fileName.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr, disposition,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!impl_->file) throw EStreamError(L"Datei " + fileName + L" kann nicht erstellt werden");
}

TFileStream::~TFileStream() = default;

void TFileStream::WriteBuffer(const void* data, size_t count) {
  const char* p = static_cast<const char*>(data);
  while (count > 0) {
    const DWORD chunk = count > 0x40000000 ? 0x40000000 : static_cast<DWORD>(count);
    DWORD written = 0;
    if (!::WriteFile(impl_->file.get(), p, chunk, &written, nullptr) || written == 0) {
      throw EStreamError(L"Stream-Schreibfehler");
    }
    p += written;
    count -= written;
  }
}
