// The end-to-end driver: starts update.exe, watches its windows from outside
// the way a person or a screen reader would, answers its dialogs by script,
// and writes a timeline.
//
//   driver.exe --timeline FILE --command FILE [--shots DIR] [--answer A]...
//              [--close-after-dialog N] [--close-at-status TEXT] [--timeout SECONDS]
//
// The command file holds update.exe's whole command line in UTF-8, byte for
// byte as it is to arrive (quotes and blanks included).
// Answers, one per dialog in order: OK, Abbrechen (press the button), Esc (the
// Esc key), X (the dialog's close box). --close-after-dialog N closes the
// status window through its close box once dialog N (from 1) has gone;
// --close-at-status closes it when the status line first shows TEXT.
//
// Timeline lines: "<ms since start> <kind> <text>", line feeds and carriage
// returns written as \n and \r. Kinds: started, window, label, status, dialog,
// press, shot, gone, exit, timeout.
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "framework/text.h"
#include "framework/win32/win32_api.h"

namespace {

struct Options {
  std::wstring timeline;
  std::wstring shots;
  std::vector<std::wstring> answers;
  int closeAfterDialog = 0;
  std::wstring closeAtStatus;
  int timeoutSeconds = 120;
  std::wstring commandLine;
};

class Timeline {
 public:
  explicit Timeline(const std::wstring& path) : file_(_wfopen(path.c_str(), L"wb")) {
    ::QueryPerformanceFrequency(&frequency_);
    ::QueryPerformanceCounter(&start_);
  }
  ~Timeline() {
    if (file_ != nullptr) fclose(file_);
  }
  long long Now() const {
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return (now.QuadPart - start_.QuadPart) * 1000 / frequency_.QuadPart;
  }
  void Write(const char* kind, const std::wstring& text = L"") {
    std::string line = std::to_string(Now());
    line += ' ';
    line += kind;
    if (!text.empty()) {
      line += ' ';
      line += StringToUtf8(text);
    }
    std::string escaped;
    for (char c : line) {
      if (c == '\n') escaped += "\\n";
      else if (c == '\r') escaped += "\\r";
      else escaped.push_back(c);
    }
    escaped.push_back('\n');
    if (file_ != nullptr) {
      fwrite(escaped.data(), 1, escaped.size(), file_);
      fflush(file_);
    }
  }

 private:
  FILE* file_;
  LARGE_INTEGER frequency_{};
  LARGE_INTEGER start_{};
};

std::wstring WindowText(HWND hwnd) {
  wchar_t buffer[4096];
  const int n = ::InternalGetWindowText(hwnd, buffer, 4096);
  return std::wstring(buffer, static_cast<size_t>(n > 0 ? n : 0));
}

std::wstring ClassOf(HWND hwnd) {
  wchar_t buffer[256];
  const int n = ::GetClassNameW(hwnd, buffer, 256);
  return std::wstring(buffer, static_cast<size_t>(n > 0 ? n : 0));
}

struct Found {
  DWORD pid;
  std::vector<HWND> windows;
};

BOOL CALLBACK CollectTopLevel(HWND hwnd, LPARAM param) {
  auto* found = reinterpret_cast<Found*>(param);
  DWORD pid = 0;
  ::GetWindowThreadProcessId(hwnd, &pid);
  if (pid == found->pid && ::IsWindowVisible(hwnd)) found->windows.push_back(hwnd);
  return TRUE;
}

BOOL CALLBACK CollectChildren(HWND hwnd, LPARAM param) {
  reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
  return TRUE;
}

std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> children;
  ::EnumChildWindows(parent, CollectChildren, reinterpret_cast<LPARAM>(&children));
  return children;
}

int ScreenDpi() {
  HDC screen = ::GetDC(nullptr);
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  return dpi;
}

std::wstring Hex(unsigned long long v) {
  wchar_t buffer[32];
  swprintf(buffer, 32, L"0x%llX", v);
  return buffer;
}

// Asks the test runner, which sees the X display, to save what the screen
// shows around a window: writes NAME.req with the rectangle; the runner
// saves NAME.png. Does not wait, so that watching goes on meanwhile.
bool SaveShot(HWND hwnd, const std::wstring& base) {
  RECT rc;
  if (!::GetWindowRect(hwnd, &rc)) return false;
  const int margin = 8;
  const std::string request = std::to_string(rc.left - margin) + " " + std::to_string(rc.top - margin) + " " +
                              std::to_string(rc.right - rc.left + 2 * margin) + " " +
                              std::to_string(rc.bottom - rc.top + 2 * margin) + "\n";
  const std::wstring temp = base + L".req.tmp";
  if (FILE* f = _wfopen(temp.c_str(), L"wb")) {
    fwrite(request.data(), 1, request.size(), f);
    fclose(f);
  } else {
    return false;
  }
  return ::MoveFileExW(temp.c_str(), (base + L".req").c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

class Driver {
 public:
  Driver(const Options& options) : options_(options), timeline_(options.timeline) {}

  int Run() {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::wstring command = options_.commandLine;
    timeline_.Write("started", command);
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
      timeline_.Write("exit", L"start-failed " + std::to_wstring(::GetLastError()));
      return 2;
    }
    win32::Handle process(pi.hProcess);
    win32::Handle thread(pi.hThread);
    pid_ = pi.dwProcessId;
    const long long deadline = timeline_.Now() + options_.timeoutSeconds * 1000LL;
    while (::WaitForSingleObject(process.get(), 5) == WAIT_TIMEOUT) {
      Observe();
      if (timeline_.Now() > deadline) {
        timeline_.Write("timeout");
        ::TerminateProcess(process.get(), 99);
        return 3;
      }
    }
    DWORD code = 0;
    ::GetExitCodeProcess(process.get(), &code);
    if (mainWindow_ != nullptr) timeline_.Write("gone");
    timeline_.Write("exit", std::to_wstring(code));
    return 0;
  }

 private:
  void Observe() {
    Found found{pid_, {}};
    ::EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&found));
    std::set<HWND> present(found.windows.begin(), found.windows.end());
    for (HWND hwnd : found.windows) {
      if (ClassOf(hwnd) == L"TForm1") {
        if (mainWindow_ == nullptr) ReportMainWindow(hwnd);
        WatchStatus(hwnd);
      } else if (ClassOf(hwnd) == L"#32770") {
        WatchDialog(hwnd);
      }
    }
    // Dialogs that have gone.
    for (auto it = dialogs_.begin(); it != dialogs_.end();) {
      if (present.count(it->first) == 0) {
        if (options_.closeAfterDialog == it->second.number && mainWindow_ != nullptr) {
          timeline_.Write("press", L"close-window");
          ::PostMessageW(mainWindow_, WM_SYSCOMMAND, SC_CLOSE, 0);
        }
        it = dialogs_.erase(it);
      } else {
        ++it;
      }
    }
    if (mainWindow_ != nullptr && !::IsWindow(mainWindow_)) mainWindow_ = nullptr;
  }

  void ReportMainWindow(HWND hwnd) {
    mainWindow_ = hwnd;
    RECT client;
    ::GetClientRect(hwnd, &client);
    const auto style = static_cast<unsigned long long>(::GetWindowLongPtrW(hwnd, GWL_STYLE));
    const auto exStyle = static_cast<unsigned long long>(::GetWindowLongPtrW(hwnd, GWL_EXSTYLE));
    HWND owner = ::GetWindow(hwnd, GW_OWNER);
    const int dpi = ScreenDpi();
    timeline_.Write("window", L"caption=" + WindowText(hwnd) + L"|client=" + std::to_wstring(client.right) + L"x" +
                                  std::to_wstring(client.bottom) + L"|style=" + Hex(style) + L"|exstyle=" +
                                  Hex(exStyle) + L"|owner=" + (owner != nullptr ? L"yes" : L"none") +
                                  L"|dpi=" + std::to_wstring(dpi) + L"|icon=" +
                                  (HasIcon(hwnd) ? L"yes" : L"none"));
  }

  // The application icon of the window's program, as the taskbar takes it.
  bool HasIcon(HWND) {
    win32::Handle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid_));
    wchar_t path[MAX_PATH];
    DWORD size = MAX_PATH;
    if (!process || !::QueryFullProcessImageNameW(process.get(), 0, path, &size)) return false;
    HMODULE image = ::LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (image == nullptr) return false;
    HICON icon = static_cast<HICON>(::LoadImageW(image, L"MAINICON", IMAGE_ICON, 32, 32, 0));
    const bool found = icon != nullptr;
    if (icon != nullptr) ::DestroyIcon(icon);
    ::FreeLibrary(image);
    return found;
  }

  HWND StatusLine(HWND main) {
    for (HWND child : Children(main)) {
      if (ClassOf(child) == L"TLabel") return child;
    }
    return nullptr;
  }

  void WatchStatus(HWND main) {
    HWND label = StatusLine(main);
    if (label == nullptr) return;
    const std::wstring text = WindowText(label);
    if (!::IsWindow(label) || !::IsWindowVisible(main)) return;  // being destroyed
    if (text == status_ && seenStatus_) {
      // A status text is painted only at the pump after its operation; the
      // shot waits for that so that it shows what the user sees.
      if (statusShotDue_ != 0 && timeline_.Now() >= statusShotDue_) {
        statusShotDue_ = 0;
        Shot(main, L"status");
      }
      return;
    }
    if (statusShotDue_ != 0) Shot(main, L"status");
    seenStatus_ = true;
    status_ = text;
    timeline_.Write("status", text);
    ReportLabel(main, label, text);
    if (!options_.closeAtStatus.empty() && text == options_.closeAtStatus && !closedAtStatus_) {
      closedAtStatus_ = true;
      timeline_.Write("press", L"close-window");
      ::PostMessageW(main, WM_SYSCOMMAND, SC_CLOSE, 0);
    }
    statusShotDue_ = timeline_.Now() + 400;
  }

  // The label's place and size, and the size its text has in bold Tahoma of
  // 13 pixels at the window's resolution: the two agree when the label uses
  // that font and sizes itself to its text.
  void ReportLabel(HWND main, HWND label, const std::wstring& text) {
    const int dpi = ScreenDpi();
    HDC dc = ::GetDC(nullptr);
    HFONT font = ::CreateFontW(::MulDiv(-13, dpi, 96), 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                               OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"Tahoma");
    HGDIOBJ old = ::SelectObject(dc, font);
    RECT calc{0, 0, 0, 0};
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &calc, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    ::SelectObject(dc, old);
    ::DeleteObject(font);
    ::ReleaseDC(nullptr, dc);
    // The program sets the text and then sizes the label to it; a reading
    // between the two would show the size of the text before.
    // A label that goes while we wait belongs to a window being destroyed:
    // there is nothing left to read.
    RECT rc{};
    for (int attempt = 0; attempt < 10; ++attempt) {
      if (!::GetWindowRect(label, &rc) || !::IsWindowVisible(main)) return;
      ::MapWindowPoints(nullptr, main, reinterpret_cast<POINT*>(&rc), 2);
      if (!::IsWindow(main) || !::IsWindow(label)) return;
      if (rc.right - rc.left == calc.right && rc.bottom - rc.top == calc.bottom) break;
      ::Sleep(20);
    }
    timeline_.Write("label", L"at=" + std::to_wstring(rc.left) + L"," + std::to_wstring(rc.top) + L"|size=" +
                                 std::to_wstring(rc.right - rc.left) + L"x" + std::to_wstring(rc.bottom - rc.top) +
                                 L"|text-size=" + std::to_wstring(calc.right) + L"x" + std::to_wstring(calc.bottom));
  }

  void WatchDialog(HWND dialog) {
    auto it = dialogs_.find(dialog);
    if (it == dialogs_.end()) {
      DialogState state;
      state.number = ++dialogCount_;
      state.seenAt = timeline_.Now();
      it = dialogs_.emplace(dialog, state).first;
    }
    DialogState& state = it->second;
    if (!state.reported) {
      // Give the dialog a moment to be laid out and painted.
      if (timeline_.Now() - state.seenAt < 250) return;
      state.reported = true;
      ReportDialog(dialog);
      Shot(dialog, L"dialog");
      state.answerAt = timeline_.Now() + 150;
      return;
    }
    if (!state.answered && timeline_.Now() >= state.answerAt) {
      state.answered = true;
      Answer(dialog, state.number);
    }
  }

  // Never waits long on another program's window: a hung one must not stop the watching.
  static bool HoldsIcon(HWND control) {
    DWORD_PTR icon = 0;
    return ::SendMessageTimeoutW(control, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, 200, &icon) != 0 &&
           icon != 0;
  }

  void ReportDialog(HWND dialog) {
    std::wstring texts;
    std::wstring buttons;
    HWND defaultButton = nullptr;
    for (HWND child : Children(dialog)) {
      if (!::IsWindowVisible(child)) continue;
      const std::wstring cls = ClassOf(child);
      const std::wstring text = WindowText(child);
      if (cls == L"Button") {
        buttons += (buttons.empty() ? L"" : L",") + text;
        if ((::GetWindowLongPtrW(child, GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON) defaultButton = child;
      } else if (!text.empty()) {
        texts += (texts.empty() ? L"" : L"|") + text;
      }
    }
    const bool hasIcon = [&] {
      for (HWND child : Children(dialog)) {
        // A message box keeps an icon control even when it shows no icon;
        // only one that holds an icon counts.
        if (ClassOf(child) == L"Static" && ::IsWindowVisible(child) &&
            (::GetWindowLongPtrW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
            HoldsIcon(child)) {
          return true;
        }
      }
      return false;
    }();
    timeline_.Write("dialog", L"caption=" + WindowText(dialog) + L"|buttons=" + buttons + L"|default=" +
                                  (defaultButton != nullptr ? WindowText(defaultButton) : L"?") + L"|icon=" +
                                  (hasIcon ? L"yes" : L"no") + L"|text=" + texts);
  }

  void Answer(HWND dialog, int number) {
    if (static_cast<size_t>(number) > options_.answers.size()) {
      timeline_.Write("press", L"none");
      return;
    }
    const std::wstring& answer = options_.answers[static_cast<size_t>(number) - 1];
    timeline_.Write("press", answer);
    if (answer == L"Esc") {
      ::PostMessageW(dialog, WM_KEYDOWN, VK_ESCAPE, 0);
      ::PostMessageW(dialog, WM_KEYUP, VK_ESCAPE, 0);
      return;
    }
    if (answer == L"X") {
      ::PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
      return;
    }
    for (HWND child : Children(dialog)) {
      if (ClassOf(child) == L"Button" && WindowText(child) == answer) {
        ::PostMessageW(child, BM_CLICK, 0, 0);
        return;
      }
    }
    timeline_.Write("press", L"no-such-button " + answer);
  }

  void Shot(HWND hwnd, const wchar_t* what) {
    if (options_.shots.empty()) return;
    const std::wstring path = options_.shots + L"\\" + std::to_wstring(++shots_) + L"-" + what;
    if (SaveShot(hwnd, path)) timeline_.Write("shot", path + L".png");
  }

  struct DialogState {
    int number = 0;
    long long seenAt = 0;
    long long answerAt = 0;
    bool reported = false;
    bool answered = false;
  };

  Options options_;
  Timeline timeline_;
  DWORD pid_ = 0;
  HWND mainWindow_ = nullptr;
  std::wstring status_;
  bool seenStatus_ = false;
  long long statusShotDue_ = 0;  // when the shot of the current status is taken; 0: taken
  bool closedAtStatus_ = false;
  std::map<HWND, DialogState> dialogs_;
  int dialogCount_ = 0;
  int shots_ = 0;
};

}  // namespace

std::wstring ReadUtf8File(const std::wstring& path) {
  std::string bytes;
  if (FILE* f = _wfopen(path.c_str(), L"rb")) {
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
    fclose(f);
  }
  return Utf8ToString(bytes);
}

int wmain(int argc, wchar_t** argv) {
  // Sees the updater's windows in real pixels, whatever the resolution.
  ::SetProcessDPIAware();
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (i + 1 >= argc) {
      fwprintf(stderr, L"missing value for %ls\n", arg.c_str());
      return 2;
    }
    const std::wstring value = argv[++i];
    if (arg == L"--timeline") options.timeline = value;
    else if (arg == L"--shots") options.shots = value;
    else if (arg == L"--answer") options.answers.push_back(value);
    else if (arg == L"--close-after-dialog") options.closeAfterDialog = _wtoi(value.c_str());
    else if (arg == L"--close-at-status") options.closeAtStatus = value;
    else if (arg == L"--timeout") options.timeoutSeconds = _wtoi(value.c_str());
    else if (arg == L"--command") options.commandLine = ReadUtf8File(value);
    else {
      fwprintf(stderr, L"unknown option %ls\n", arg.c_str());
      return 2;
    }
  }
  if (options.commandLine.empty() || options.timeline.empty()) {
    fwprintf(stderr, L"usage: driver --timeline FILE --command FILE [options]\n");
    return 2;
  }
  return Driver(options).Run();
}
