// host_standin.exe: stands in for the host application in tests of the
// updater. Copied under the host application's name (or any other), started
// directly or through the system shell, it reports how it was started and
// then waits to be terminated.
//
// On start it writes a report, UTF-8, one item a line ("\n"), in this order:
//   exe=<full path of its own executable>
//   pid=<its process id, decimal>
//   cmdline=<its whole command line, as the system gives it>
//   args=<number of arguments after the program name, decimal>
//   arg=<one argument>          one line per argument, in order
//   cwd=<its current directory>
// to <dir>\standin-<pid>.txt, where <dir> is the directory named by the
// environment variable QX_STANDIN_DIR, or else its executable's directory.
// The report is written under another name and then renamed, so a file named
// standin-<pid>.txt is always complete.
//
// Then it does nothing until it is terminated. So that nothing is left
// running, it ends by itself after QX_STANDIN_SECONDS seconds (default 120)
// with exit code 3; a report that cannot be written ends it with exit code 2.
// Arguments are split by the system's rules (CommandLineToArgvW).
//
// With QX_STANDIN_HOLD naming a file, it opens that file for writing with
// others allowed only to read it, before writing its report, and holds it
// open while it runs: a program that has an installation file in use.
#include <cstdlib>
#include <string>

#include "framework/win32/win32_api.h"

namespace {

constexpr UINT kTimedOut = 3;
constexpr UINT kReportFailed = 2;
constexpr DWORD kDefaultLifetimeSeconds = 120;

std::wstring Environment(const wchar_t* name) {
  const DWORD size = ::GetEnvironmentVariableW(name, nullptr, 0);
  if (size == 0) return {};
  std::wstring value(size, L'\0');
  value.resize(::GetEnvironmentVariableW(name, value.data(), size));
  return value;
}

std::wstring OwnPath() {
  std::wstring path(32768, L'\0');
  path.resize(::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return path;
}

std::wstring CurrentDirectory() {
  std::wstring dir(::GetCurrentDirectoryW(0, nullptr), L'\0');
  dir.resize(::GetCurrentDirectoryW(static_cast<DWORD>(dir.size()), dir.data()));
  return dir;
}

std::wstring DirectoryOf(const std::wstring& path) {
  const size_t separator = path.find_last_of(L"\\/");
  return separator == std::wstring::npos ? std::wstring(L".") : path.substr(0, separator);
}

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(),
                        size, nullptr, nullptr);
  return bytes;
}

std::wstring Report(const std::wstring& exe) {
  const wchar_t* commandLine = ::GetCommandLineW();
  std::wstring report = L"exe=" + exe + L"\n";
  report += L"pid=" + std::to_wstring(::GetCurrentProcessId()) + L"\n";
  report += L"cmdline=" + std::wstring(commandLine) + L"\n";
  int count = 0;
  LPWSTR* items = ::CommandLineToArgvW(commandLine, &count);
  std::wstring args;
  for (int i = 1; items != nullptr && i < count; ++i) args += L"arg=" + std::wstring(items[i]) + L"\n";
  if (items != nullptr) ::LocalFree(items);
  report += L"args=" + std::to_wstring(count > 1 ? count - 1 : 0) + L"\n" + args;
  report += L"cwd=" + CurrentDirectory() + L"\n";
  return report;
}

bool WriteReport(const std::wstring& dir, const std::wstring& report) {
  const std::wstring base = dir + L"\\standin-" + std::to_wstring(::GetCurrentProcessId());
  const std::wstring partial = base + L".partial";
  {
    win32::Handle file(::CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    const std::string bytes = Utf8(report);
    DWORD written = 0;
    if (!::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size()) {
      return false;
    }
  }
  return ::MoveFileExW(partial.c_str(), (base + L".txt").c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

DWORD LifetimeSeconds() {
  const std::wstring text = Environment(L"QX_STANDIN_SECONDS");
  if (text.empty()) return kDefaultLifetimeSeconds;
  return static_cast<DWORD>(std::wcstoul(text.c_str(), nullptr, 10));
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const std::wstring exe = OwnPath();
  std::wstring dir = Environment(L"QX_STANDIN_DIR");
  if (dir.empty()) dir = DirectoryOf(exe);
  win32::Handle held;
  const std::wstring hold = Environment(L"QX_STANDIN_HOLD");
  if (!hold.empty()) {
    held.reset(::CreateFileW(hold.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
  }
  if (!WriteReport(dir, Report(exe))) return static_cast<int>(kReportFailed);
  ::Sleep(LifetimeSeconds() * 1000);
  ::ExitProcess(kTimedOut);
}
