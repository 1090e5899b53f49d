// Host application control with real processes: copies of the host
// application stand-in under the host application's name and under names
// that only look like it.
#include <gtest/gtest.h>

#include <cstdio>

// The framework's names come before the Windows headers' macros of the same names.
#include "install/host_application.h"
#include "host_application_standin.h"

namespace {

constexpr DWORD kStartTimeoutMs = 20000;
constexpr DWORD kEndTimeoutMs = 10000;
constexpr DWORD kShellTimeoutMs = 10000;

class HostApplicationOnWindows : public testing::Test {
 protected:
  HostApplicationOnWindows() : savedDirectory_(standin::CurrentDirectory()) {}

  ~HostApplicationOnWindows() override {
    for (const win32::Handle& process : processes_) {
      if (::WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT) {
        ::TerminateProcess(process.get(), 1);
        ::WaitForSingleObject(process.get(), kEndTimeoutMs);
      }
    }
    ::SetCurrentDirectoryW(savedDirectory_.c_str());
  }

  // Keeps a handle on a process this test caused, so that it is ended with the test.
  HANDLE Keep(win32::Handle process) {
    processes_.push_back(std::move(process));
    return processes_.back().get();
  }
  void KeepStartedByShell(DWORD pid) {
    Keep(win32::Handle(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid)));
  }

  void EnterFolder(const std::wstring& folder) {
    ASSERT_TRUE(::SetCurrentDirectoryW(folder.c_str()));
  }

  standin::ScratchFolder scratch_;

 private:
  std::wstring savedDirectory_;
  std::vector<win32::Handle> processes_;
};

struct RunningCopy {
  std::wstring folder;
  std::wstring exeName;
  bool matches;
  HANDLE process = nullptr;
};

TEST_F(HostApplicationOnWindows, SweepEndsEveryHostProcessAndNoOther) {
  // The host application runs twice from one installation. The capitals need
  // a folder of their own: the file system does not tell them apart.
  std::vector<RunningCopy> copies{{L"host", L"quorbix.exe", true},
                                  {L"host", L"quorbix.exe", true},
                                  {L"capitals", L"QUORBIX.EXE", true},
                                  {L"others", L"xquorbix.exe", false},
                                  {L"others", L"quorbix.exe.bak", false},
                                  {L"others", L"quorbix", false}};
  for (RunningCopy& copy : copies) {
    const std::wstring path = scratch_.Make(copy.folder) + L"\\" + copy.exeName;
    if (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) standin::CopyTo(path);
    standin::Started started = standin::Start(path);
    copy.process = Keep(std::move(started.process));
    ASSERT_TRUE(standin::WaitForReport(standin::FolderOf(path), started.pid, kStartTimeoutMs))
        << standin::Utf8(copy.exeName) << " did not start";
    // The sweep sees the names the snapshot lists; they must be the ones meant here.
    EXPECT_EQ(standin::SnapshotExeName(started.pid), copy.exeName);
  }

  StopProcessesByExeName(HostApplicationExeName);

  for (const RunningCopy& copy : copies) {
    if (!copy.matches) continue;
    EXPECT_EQ(::WaitForSingleObject(copy.process, kEndTimeoutMs), WAIT_OBJECT_0)
        << standin::Utf8(copy.exeName) << " still runs";
    DWORD exitCode = STILL_ACTIVE;
    ::GetExitCodeProcess(copy.process, &exitCode);
    EXPECT_EQ(exitCode, 0u) << standin::Utf8(copy.exeName);
  }
  // Termination is requested during the walk, so by now every request has taken effect.
  for (const RunningCopy& copy : copies) {
    if (copy.matches) continue;
    EXPECT_EQ(::WaitForSingleObject(copy.process, 0), static_cast<DWORD>(WAIT_TIMEOUT))
        << standin::Utf8(copy.exeName) << " was ended";
  }
}

TEST_F(HostApplicationOnWindows, SweepWithoutHostProcessEndsNothing) {
  const std::wstring path = scratch_.Make(L"other") + L"\\update.exe";
  standin::CopyTo(path);
  standin::Started started = standin::Start(path);
  HANDLE process = Keep(std::move(started.process));
  ASSERT_TRUE(standin::WaitForReport(standin::FolderOf(path), started.pid, kStartTimeoutMs));

  for (int sweep = 0; sweep < 3; ++sweep) StopProcessesByExeName(HostApplicationExeName);

  EXPECT_EQ(::WaitForSingleObject(process, 200), static_cast<DWORD>(WAIT_TIMEOUT));
}

TEST_F(HostApplicationOnWindows, StartRunsTheHostInTheCurrentFolderWithOneArgument) {
  const std::wstring folder = scratch_.Make(L"Programme Ä\\Quorbix!");
  standin::CopyTo(folder + L"\\quorbix.exe");
  EnterFolder(folder);
  const std::wstring callersDirectory = standin::CurrentDirectory();
  standin::Window owner;

  StartHostApplication(owner.get());

  const auto report = standin::WaitForReport(folder, 0, kStartTimeoutMs);
  ASSERT_TRUE(report) << "the host application did not start";
  KeepStartedByShell(report->pid);
  std::printf("started as: %s\n", standin::Utf8(report->commandLine).c_str());
  EXPECT_EQ(report->args, std::vector<std::wstring>{L"dontupdate"});
  EXPECT_EQ(report->cwd, callersDirectory);
  EXPECT_TRUE(standin::SamePath(report->exe, folder + L"\\quorbix.exe")) << standin::Utf8(report->exe);
}

TEST_F(HostApplicationOnWindows, StartFindsTheHostAlongTheSearchPath) {
  const std::wstring installed = scratch_.Make(L"installed");
  const std::wstring elsewhere = scratch_.Make(L"elsewhere");
  standin::CopyTo(installed + L"\\quorbix.exe");
  EnterFolder(elsewhere);
  std::wstring savedPath(32768, L'\0');
  savedPath.resize(::GetEnvironmentVariableW(L"PATH", savedPath.data(), 32768));
  ::SetEnvironmentVariableW(L"PATH", (installed + L";" + savedPath).c_str());

  StartHostApplication(nullptr);

  ::SetEnvironmentVariableW(L"PATH", savedPath.c_str());
  const auto report = standin::WaitForReport(installed, 0, kStartTimeoutMs);
  ASSERT_TRUE(report) << "the host application did not start";
  KeepStartedByShell(report->pid);
  EXPECT_EQ(report->args, std::vector<std::wstring>{L"dontupdate"});
  EXPECT_TRUE(standin::SamePath(report->cwd, elsewhere)) << standin::Utf8(report->cwd);
}

// The start from a window of its own on another thread, so that a message
// the system might show cannot keep the test waiting.
DWORD WINAPI StartFromOwnWindow(void*) {
  try {
    standin::Window owner;
    StartHostApplication(owner.get());
    return 0;
  } catch (...) {
    return 1;
  }
}

// Closes the system's messages on `threadId`; returns their texts.
std::string CloseMessagesOf(DWORD threadId) {
  std::string texts;
  ::EnumThreadWindows(
      threadId,
      [](HWND window, LPARAM param) -> BOOL {
        if (!::IsWindowVisible(window)) return TRUE;
        wchar_t text[512] = {};
        ::GetWindowTextW(window, text, 512);
        std::string& texts = *reinterpret_cast<std::string*>(param);
        texts.append(1, '[').append(standin::Utf8(text)).append(1, ']');
        ::PostMessageW(window, WM_COMMAND, IDOK, 0);
        ::PostMessageW(window, WM_CLOSE, 0, 0);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&texts));
  return texts;
}

TEST_F(HostApplicationOnWindows, StartWithoutHostApplicationStartsNothing) {
  const std::wstring empty = scratch_.Make(L"empty");
  EnterFolder(empty);
  wchar_t found[MAX_PATH];
  ASSERT_EQ(::SearchPathW(nullptr, HostApplicationExeName, nullptr, MAX_PATH, found, nullptr), 0u)
      << "a quorbix.exe is on the search path";

  DWORD threadId = 0;
  win32::Handle thread(::CreateThread(nullptr, 0, StartFromOwnWindow, nullptr, 0, &threadId));
  ASSERT_TRUE(thread);
  std::string messages;
  if (::WaitForSingleObject(thread.get(), kShellTimeoutMs) == WAIT_TIMEOUT) {
    messages = CloseMessagesOf(threadId);
    ASSERT_EQ(::WaitForSingleObject(thread.get(), kShellTimeoutMs), WAIT_OBJECT_0)
        << "the start still waits; messages shown: " << messages;
  }
  std::printf("messages shown by the system: %s\n", messages.empty() ? "none" : messages.c_str());

  DWORD result = 1;
  ::GetExitCodeThread(thread.get(), &result);
  EXPECT_EQ(result, 0u) << "the start raised";
  EXPECT_TRUE(standin::ProcessesListedAs(HostApplicationExeName).empty());
}

}  // namespace
