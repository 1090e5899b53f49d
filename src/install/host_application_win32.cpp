// Host application control on Windows: the process sweep over a toolhelp
// snapshot, and the restart through the system shell.
#include "install/host_application.h"

#include <cwchar>

#include "framework/win32/win32_api.h"

namespace {

using CreateSnapshotFunction = HANDLE(WINAPI*)(DWORD flags, DWORD processId);
using ProcessWalkFunction = BOOL(WINAPI*)(HANDLE snapshot, PROCESSENTRY32W* entry);

struct ToolhelpFunctions {
  CreateSnapshotFunction createSnapshot = nullptr;
  ProcessWalkFunction first = nullptr;
  ProcessWalkFunction next = nullptr;

  bool available() const { return createSnapshot != nullptr && first != nullptr && next != nullptr; }
};

template <class Function>
Function LookUp(HMODULE module, const char* name) {
  // Through the generic function type, so the cast says what it means.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
}

// Looked up by name when the first sweep needs them; a system without them
// has no processes to sweep.
const ToolhelpFunctions& Toolhelp() {
  static const ToolhelpFunctions functions = [] {
    ToolhelpFunctions found;
    if (HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll")) {
      found.createSnapshot = LookUp<CreateSnapshotFunction>(kernel32, "CreateToolhelp32Snapshot");
      found.first = LookUp<ProcessWalkFunction>(kernel32, "Process32FirstW");
      found.next = LookUp<ProcessWalkFunction>(kernel32, "Process32NextW");
    }
    return found;
  }();
  return functions;
}

// A process that may not be terminated, or has gone already, is left alone;
// whether the request succeeds is of no interest.
void RequestTermination(DWORD processId) {
  win32::Handle process(::OpenProcess(PROCESS_TERMINATE, FALSE, processId));
  if (!process) return;
  ::TerminateProcess(process.get(), 0);
}

}  // namespace

void StopProcessesByExeName(const String& name) {
  const ToolhelpFunctions& toolhelp = Toolhelp();
  if (!toolhelp.available()) return;
  win32::Handle snapshot(toolhelp.createSnapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return;

  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = toolhelp.first(snapshot.get(), &entry); more;
       more = toolhelp.next(snapshot.get(), &entry)) {
    const String exeFile(entry.szExeFile, ::wcsnlen(entry.szExeFile, MAX_PATH));
    if (ExeNameMatches(exeFile, name)) RequestTermination(entry.th32ProcessID);
  }
}

void StartHostApplication(NativeWindow owner) {
  // A failure is not looked at: the system shows its own message, if any,
  // over the owner window, and the installation goes on.
  ::ShellExecuteW(static_cast<HWND>(owner), L"open", HostApplicationExeName,
                  HostApplicationStartArgument, nullptr, SW_SHOWNORMAL);
}
