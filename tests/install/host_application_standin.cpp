#include "host_application_standin.h"

#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace standin {
namespace {

std::runtime_error SystemError(const std::string& what) {
  return std::runtime_error(what + " failed, error " + std::to_string(::GetLastError()));
}


std::wstring FromUtf8(const std::string& bytes) {
  if (bytes.empty()) return {};
  const int size = ::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()),
                                         nullptr, 0);
  std::wstring text(static_cast<size_t>(size), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), size);
  return text;
}

std::optional<std::string> ReadWholeFile(const std::wstring& path) {
  win32::Handle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return std::nullopt;
  std::string bytes;
  char buffer[4096];
  DWORD got = 0;
  while (::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  return bytes;
}

Report ParseReport(const std::wstring& text) {
  Report report;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(L'\n', start);
    if (end == std::wstring::npos) end = text.size();
    const std::wstring line = text.substr(start, end - start);
    start = end + 1;
    const size_t equals = line.find(L'=');
    if (equals == std::wstring::npos) continue;
    const std::wstring key = line.substr(0, equals);
    const std::wstring value = line.substr(equals + 1);
    if (key == L"exe") report.exe = value;
    else if (key == L"pid") report.pid = static_cast<DWORD>(std::stoul(value));
    else if (key == L"cmdline") report.commandLine = value;
    else if (key == L"arg") report.args.push_back(value);
    else if (key == L"cwd") report.cwd = value;
  }
  return report;
}

std::optional<std::wstring> FindReportFile(const std::wstring& folder, DWORD pid) {
  const std::wstring pattern =
      folder + L"\\standin-" + (pid == 0 ? std::wstring(L"*") : std::to_wstring(pid)) + L".txt";
  WIN32_FIND_DATAW found{};
  HANDLE search = ::FindFirstFileW(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return std::nullopt;
  ::FindClose(search);
  return folder + L"\\" + found.cFileName;
}

template <class Visit>
void ForEachProcess(Visit visit) {
  win32::Handle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) throw SystemError("CreateToolhelp32Snapshot");
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more;
       more = ::Process32NextW(snapshot.get(), &entry)) {
    visit(entry.th32ProcessID, std::wstring(entry.szExeFile, ::wcsnlen(entry.szExeFile, MAX_PATH)));
  }
}

std::wstring OwnFolder() {
  std::wstring path(32768, L'\0');
  path.resize(::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return FolderOf(path);
}

}  // namespace

ScratchFolder::ScratchFolder() {
  static unsigned counter = 0;
  wchar_t temp[MAX_PATH + 1];
  const DWORD length = ::GetTempPathW(MAX_PATH + 1, temp);
  if (length == 0) throw SystemError("GetTempPathW");
  path_ = std::wstring(temp, length) + L"qx-host-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
          std::to_wstring(++counter);
  std::filesystem::remove_all(path_);
  std::filesystem::create_directories(path_);
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::wstring ScratchFolder::Make(const std::wstring& relative) const {
  const std::wstring path = path_ + L"\\" + relative;
  std::filesystem::create_directories(path);
  return path;
}

void CopyTo(const std::wstring& path) {
  const std::wstring source = OwnFolder() + L"\\host_standin.exe";
  if (!::CopyFileW(source.c_str(), path.c_str(), FALSE)) throw SystemError("copying the stand-in");
}

std::optional<Report> WaitForReport(const std::wstring& folder, DWORD pid, DWORD timeoutMs) {
  const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
  do {
    if (auto file = FindReportFile(folder, pid)) {
      if (auto bytes = ReadWholeFile(*file)) return ParseReport(FromUtf8(*bytes));
    }
    ::Sleep(20);
  } while (::GetTickCount64() < deadline);
  return std::nullopt;
}

Started Start(const std::wstring& exePath) {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  std::wstring commandLine = L"\"" + exePath + L"\"";
  const std::wstring folder = FolderOf(exePath);
  if (!::CreateProcessW(exePath.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.c_str(), &startup, &info)) {
    throw SystemError("starting " + Utf8(exePath));
  }
  win32::Handle thread(info.hThread);
  return Started{win32::Handle(info.hProcess), info.dwProcessId};
}

std::optional<std::wstring> SnapshotExeName(DWORD pid) {
  std::optional<std::wstring> name;
  ForEachProcess([&](DWORD id, const std::wstring& exe) {
    if (id == pid) name = exe;
  });
  return name;
}

std::vector<DWORD> ProcessesListedAs(const std::wstring& exeName) {
  std::vector<DWORD> ids;
  ForEachProcess([&](DWORD id, const std::wstring& exe) {
    if (exe == exeName) ids.push_back(id);
  });
  return ids;
}

std::wstring CurrentDirectory() {
  std::wstring dir(::GetCurrentDirectoryW(0, nullptr), L'\0');
  dir.resize(::GetCurrentDirectoryW(static_cast<DWORD>(dir.size()), dir.data()));
  return dir;
}

std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\')); }

bool SamePath(const std::wstring& a, const std::wstring& b) {
  return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size,
                        nullptr, nullptr);
  return bytes;
}

Window::Window()
    : hwnd_(::CreateWindowExW(0, L"STATIC", L"Quorbix! Update", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                              CW_USEDEFAULT, 200, 100, nullptr, nullptr, ::GetModuleHandleW(nullptr),
                              nullptr)) {
  if (hwnd_ == nullptr) throw SystemError("CreateWindowExW");
}

Window::~Window() { ::DestroyWindow(hwnd_); }

}  // namespace standin
