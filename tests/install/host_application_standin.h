#pragma once
// Test support for host application control on Windows: copies of the host
// application stand-in (tests/support/host_standin) under chosen names,
// started by the test or found through the reports they write.
#include <optional>
#include <string>
#include <vector>

#include "framework/win32/win32_api.h"

namespace standin {

// A fresh folder under the temporary folder, removed with its contents.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::wstring& Path() const { return path_; }
  // Creates the folder `relative` (and its parents) inside; returns its path.
  std::wstring Make(const std::wstring& relative) const;

 private:
  std::wstring path_;
};

// Copies the stand-in, which the build puts next to the test program, to `path`.
void CopyTo(const std::wstring& path);

// What a stand-in reported about its start.
struct Report {
  std::wstring exe;
  DWORD pid = 0;
  std::wstring commandLine;
  std::vector<std::wstring> args;
  std::wstring cwd;
};

// Waits up to `timeoutMs` for the report of process `pid`, or of any process
// when `pid` is 0, in `folder`.
std::optional<Report> WaitForReport(const std::wstring& folder, DWORD pid, DWORD timeoutMs);

// A copy started by the test itself, with no arguments, in its own folder;
// the handle has every right, SYNCHRONIZE among them.
struct Started {
  win32::Handle process;
  DWORD pid = 0;
};
Started Start(const std::wstring& exePath);

// The executable name the system's process snapshot lists for `pid`; none
// when no such process runs.
std::optional<std::wstring> SnapshotExeName(DWORD pid);
// Identifiers of the running processes listed under exactly `exeName`.
std::vector<DWORD> ProcessesListedAs(const std::wstring& exeName);

std::wstring CurrentDirectory();
std::wstring FolderOf(const std::wstring& path);
bool SamePath(const std::wstring& a, const std::wstring& b);
std::string Utf8(const std::wstring& text);

// A plain top-level window of the calling thread, never shown, to own what
// the system may show; destroyed with this object.
class Window {
 public:
  Window();
  ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;
  HWND get() const { return hwnd_; }

 private:
  HWND hwnd_;
};

}  // namespace standin
