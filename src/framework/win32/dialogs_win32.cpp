// The standard dialogs on Win32. The confirmation is the system's task dialog
// where the themed common controls provide it, otherwise a message box; the
// button texts are ours, so they are German whatever the system's language.
#include "framework/dialogs.h"
#include "framework/forms.h"
#include "framework/win32/win32_api.h"

namespace {

HWND DialogOwner() {
  TForm* form = Application != nullptr ? Application->MainForm() : nullptr;
  return form != nullptr ? static_cast<HWND>(form->Handle()) : nullptr;
}

// While a message box of ours is open: centres it on the screen and gives its
// buttons our texts. One hook per call, on this thread only.
class MessageBoxStyler {
 public:
  explicit MessageBoxStyler(bool germanCancel) {
    germanCancel_ = germanCancel;
    hook_ = ::SetWindowsHookExW(WH_CBT, &MessageBoxStyler::Hook, nullptr, ::GetCurrentThreadId());
  }
  ~MessageBoxStyler() {
    if (hook_ != nullptr) ::UnhookWindowsHookEx(hook_);
  }
  MessageBoxStyler(const MessageBoxStyler&) = delete;
  MessageBoxStyler& operator=(const MessageBoxStyler&) = delete;

 private:
  static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) {
      HWND box = reinterpret_cast<HWND>(wParam);
      wchar_t cls[16] = {};
      ::GetClassNameW(box, cls, 16);
      if (lstrcmpW(cls, L"#32770") == 0) {
        RECT rc;
        ::GetWindowRect(box, &rc);
        MONITORINFO mi{sizeof mi, {}, {}, 0};
        ::GetMonitorInfoW(::MonitorFromWindow(box, MONITOR_DEFAULTTOPRIMARY), &mi);
        const int w = rc.right - rc.left;
        const int h = rc.bottom - rc.top;
        ::SetWindowPos(box, nullptr, mi.rcWork.left + (mi.rcWork.right - mi.rcWork.left - w) / 2,
                       mi.rcWork.top + (mi.rcWork.bottom - mi.rcWork.top - h) / 2, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        ::SetDlgItemTextW(box, IDOK, OkButtonText);
        if (germanCancel_) ::SetDlgItemTextW(box, IDCANCEL, CancelButtonText);
      }
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
  }

  static inline thread_local bool germanCancel_ = false;
  HHOOK hook_ = nullptr;
};

using TaskDialogIndirectFn = HRESULT(WINAPI*)(const TASKDIALOGCONFIG*, int*, int*, BOOL*);

TaskDialogIndirectFn TaskDialogFunction() {
  // Present only in version 6 of the common controls, which the manifest asks for.
  return win32::ProcAddress<TaskDialogIndirectFn>(::GetModuleHandleW(L"comctl32.dll"), "TaskDialogIndirect");
}

}  // namespace

int MessageDlgPosHelp(const String& Msg, TMsgDlgType, TMsgDlgButtons, int, int, int, const String&) {
  HWND owner = DialogOwner();
  if (TaskDialogIndirectFn taskDialog = TaskDialogFunction()) {
    const TASKDIALOG_BUTTON buttons[] = {{IDOK, OkButtonText}, {IDCANCEL, CancelButtonText}};
    TASKDIALOGCONFIG config{};
    config.cbSize = sizeof config;
    config.hwndParent = owner;
    config.hInstance = ::GetModuleHandleW(nullptr);
    // Without TDF_POSITION_RELATIVE_TO_WINDOW the dialog is centred on the monitor.
    config.dwFlags = TDF_ALLOW_DIALOG_CANCELLATION;
    config.pszWindowTitle = ConfirmationCaption;
    config.pszMainIcon = TD_INFORMATION_ICON;
    config.pszContent = Msg.c_str();
    config.cButtons = 2;
    config.pButtons = buttons;
    config.nDefaultButton = IDOK;
    int pressed = 0;
    if (SUCCEEDED(taskDialog(&config, &pressed, nullptr, nullptr))) return pressed == IDOK ? mrOk : mrCancel;
  }
  MessageBoxStyler styler(true);
  const int pressed =
      ::MessageBoxW(owner, Msg.c_str(), ConfirmationCaption, MB_OKCANCEL | MB_ICONQUESTION | MB_DEFBUTTON1);
  return pressed == IDOK ? mrOk : mrCancel;
}

void ShowMessage(const String& Msg) {
  MessageBoxStyler styler(false);
  const String title = Application != nullptr ? Application->Title() : String();
  ::MessageBoxW(DialogOwner(), Msg.c_str(), title.c_str(), MB_OK);
}
