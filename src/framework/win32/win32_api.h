#pragma once
// The one place Windows headers come in, and RAII owners for their handles.
#ifndef UNICODE
#define UNICODE
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <utility>

namespace win32 {

// A function looked up by name in a loaded module, or nullptr.
template <class F>
F ProcAddress(HMODULE module, const char* name) {
  if (module == nullptr) return nullptr;
  return reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

// Owns a kernel handle; both NULL and INVALID_HANDLE_VALUE mean none.
class Handle {
 public:
  Handle() = default;
  explicit Handle(HANDLE h) : h_(h) {}
  ~Handle() { reset(); }
  Handle(Handle&& other) noexcept : h_(std::exchange(other.h_, nullptr)) {}
  Handle& operator=(Handle&& other) noexcept {
    if (this != &other) {
      reset();
      h_ = std::exchange(other.h_, nullptr);
    }
    return *this;
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;

  bool valid() const { return h_ != nullptr && h_ != INVALID_HANDLE_VALUE; }
  explicit operator bool() const { return valid(); }
  HANDLE get() const { return h_; }
  HANDLE release() { return std::exchange(h_, nullptr); }
  void reset(HANDLE h = nullptr) {
    if (valid()) ::CloseHandle(h_);
    h_ = h;
  }

 private:
  HANDLE h_ = nullptr;
};

// Owns a GDI object (font, brush, bitmap).
template <class T>
class GdiObject {
 public:
  GdiObject() = default;
  explicit GdiObject(T h) : h_(h) {}
  ~GdiObject() { reset(); }
  GdiObject(GdiObject&& other) noexcept : h_(std::exchange(other.h_, nullptr)) {}
  GdiObject& operator=(GdiObject&& other) noexcept {
    if (this != &other) {
      reset();
      h_ = std::exchange(other.h_, nullptr);
    }
    return *this;
  }
  GdiObject(const GdiObject&) = delete;
  GdiObject& operator=(const GdiObject&) = delete;
  T get() const { return h_; }
  void reset(T h = nullptr) {
    if (h_ != nullptr) ::DeleteObject(h_);
    h_ = h;
  }

 private:
  T h_ = nullptr;
};

// Owns a module loaded with LoadLibrary.
class Module {
 public:
  explicit Module(HMODULE h = nullptr) : h_(h) {}
  ~Module() {
    if (h_ != nullptr) ::FreeLibrary(h_);
  }
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;
  HMODULE get() const { return h_; }

 private:
  HMODULE h_ = nullptr;
};

}  // namespace win32
