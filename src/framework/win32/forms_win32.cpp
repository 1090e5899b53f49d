// The framework's forms on Win32: a top-level window built from the stored
// layout, a label child window that paints its text, and the message loop.
#include <algorithm>
#include <vector>

#include "framework/forms.h"
#include "framework/win32/dpi.h"
#include "framework/win32/win32_api.h"

namespace {

constexpr wchar_t kLabelClass[] = L"TLabel";

COLORREF ToColorRef(TColor color) {
  if (color == clWindowText) return ::GetSysColor(COLOR_WINDOWTEXT);
  return static_cast<COLORREF>(color & 0x00FFFFFF);
}

HFONT CreateLayoutFont(const TFontSpec& font, int dpi) {
  return ::CreateFontW(::MulDiv(font.Height, dpi, 96), 0, 0, 0, font.Bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                       static_cast<DWORD>(font.Charset), OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, font.Name.c_str());
}

LRESULT CALLBACK FormWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK LabelWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

}  // namespace

struct TLabel::Native {
  HWND hwnd = nullptr;
  TForm* parent = nullptr;
  TLabelLayout layout;
  int dpi = 96;
  win32::GdiObject<HFONT> font;
  COLORREF background = RGB(255, 255, 255);

  void ApplyDpi(int newDpi);
  // Takes the size of the text, keeping the left edge; defers all painting
  // to the next time messages are handled.
  void AutoSize(const String& text);
  void Paint();
};

struct TForm::Native {
  HWND hwnd = nullptr;
  TForm* form = nullptr;
  int dpi = 96;
  win32::GdiObject<HFONT> font;
  win32::GdiObject<HBRUSH> background;
  std::vector<TLabel*> labels;

  void SizeToClient(int dpiForSize);
};

namespace {

template <class T>
T* FromWindow(HWND hwnd) {
  return reinterpret_cast<T*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

void RegisterClasses(const wchar_t* formClass) {
  HINSTANCE instance = ::GetModuleHandleW(nullptr);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  if (!::GetClassInfoExW(instance, formClass, &wc)) {
    wc = WNDCLASSEXW{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = FormWindowProc;
    wc.hInstance = instance;
    wc.hIcon = static_cast<HICON>(::LoadImageW(instance, L"MAINICON", IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
    wc.hIconSm = static_cast<HICON>(::LoadImageW(instance, L"MAINICON", IMAGE_ICON, ::GetSystemMetrics(SM_CXSMICON),
                                                 ::GetSystemMetrics(SM_CYSMICON), 0));
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = formClass;
    ::RegisterClassExW(&wc);
  }
  if (!::GetClassInfoExW(instance, kLabelClass, &wc)) {
    wc = WNDCLASSEXW{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = LabelWindowProc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kLabelClass;
    ::RegisterClassExW(&wc);
  }
}

LRESULT CALLBACK FormWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    return ::DefWindowProcW(hwnd, msg, wParam, lParam);
  }
  auto* native = FromWindow<TForm::Native>(hwnd);
  if (native == nullptr) return ::DefWindowProcW(hwnd, msg, wParam, lParam);
  try {
    switch (msg) {
      case WM_ERASEBKGND: {
        RECT rc;
        ::GetClientRect(hwnd, &rc);
        ::FillRect(reinterpret_cast<HDC>(wParam), &rc, native->background.get());
        return 1;
      }
      case WM_ACTIVATE: {
        const LRESULT result = ::DefWindowProcW(hwnd, msg, wParam, lParam);
        if (LOWORD(wParam) != WA_INACTIVE) native->form->DoActivate();
        return result;
      }
      case WM_CLOSE:
        // No close query: a close request is never refused.
        native->form->Close();
        return 0;
      case WM_DPICHANGED: {
        native->dpi = HIWORD(wParam);
        for (TLabel* label : native->labels) label->DpiChanged(native->dpi);
        const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
        ::SetWindowPos(hwnd, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                       suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        native->SizeToClient(native->dpi);
        return 0;
      }
      default:
        break;
    }
  } catch (...) {
    Application->HandleException(native->form);
    return 0;
  }
  return ::DefWindowProcW(hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK LabelWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    return ::DefWindowProcW(hwnd, msg, wParam, lParam);
  }
  auto* native = FromWindow<TLabel::Native>(hwnd);
  if (native != nullptr) {
    switch (msg) {
      case WM_ERASEBKGND:
        return 1;  // WM_PAINT fills the whole label
      case WM_PAINT:
        native->Paint();
        return 0;
      case WM_GETFONT:
        return reinterpret_cast<LRESULT>(native->font.get());
      case WM_NCHITTEST:
        return HTTRANSPARENT;
      default:
        break;
    }
  }
  return ::DefWindowProcW(hwnd, msg, wParam, lParam);
}

}  // namespace

void TLabel::Native::ApplyDpi(int newDpi) {
  dpi = newDpi;
  font.reset(CreateLayoutFont(layout.Font, dpi));
}

void TLabel::Native::AutoSize(const String& text) {
  if (!layout.AutoSize) return;
  HDC dc = ::GetDC(hwnd);
  HGDIOBJ old = ::SelectObject(dc, font.get());
  RECT rc{0, 0, 0, 0};
  ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rc, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
  ::SelectObject(dc, old);
  ::ReleaseDC(hwnd, dc);
  HWND parentWindow = ::GetParent(hwnd);
  RECT before;
  ::GetWindowRect(hwnd, &before);
  ::MapWindowPoints(nullptr, parentWindow, reinterpret_cast<POINT*>(&before), 2);
  ::SetWindowPos(hwnd, nullptr, ::MulDiv(layout.Left, dpi, 96), ::MulDiv(layout.Top, dpi, 96), rc.right, rc.bottom,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
  ::InvalidateRect(parentWindow, &before, TRUE);
  ::InvalidateRect(hwnd, nullptr, TRUE);
}

void TLabel::Native::Paint() {
  PAINTSTRUCT ps;
  HDC dc = ::BeginPaint(hwnd, &ps);
  RECT rc;
  ::GetClientRect(hwnd, &rc);
  win32::GdiObject<HBRUSH> brush(::CreateSolidBrush(background));
  ::FillRect(dc, &rc, brush.get());
  const int length = ::GetWindowTextLengthW(hwnd);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  ::GetWindowTextW(hwnd, text.data(), length + 1);
  text.resize(static_cast<size_t>(length));
  HGDIOBJ old = ::SelectObject(dc, font.get());
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, ToColorRef(layout.Font.Color));
  UINT vertical = layout.Layout == TTextLayout::tlCenter   ? DT_VCENTER
                  : layout.Layout == TTextLayout::tlBottom ? DT_BOTTOM
                                                           : DT_TOP;
  ::DrawTextW(dc, text.c_str(), length, &rc, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX | vertical);
  ::SelectObject(dc, old);
  ::EndPaint(hwnd, &ps);
}

void TForm::Native::SizeToClient(int dpiForSize) {
  const auto style = static_cast<DWORD>(::GetWindowLongPtrW(hwnd, GWL_STYLE));
  const auto exStyle = static_cast<DWORD>(::GetWindowLongPtrW(hwnd, GWL_EXSTYLE));
  RECT rc{0, 0, ::MulDiv(form->Layout().ClientWidth, dpiForSize, 96),
          ::MulDiv(form->Layout().ClientHeight, dpiForSize, 96)};
  win32::AdjustWindowRectForDpi(&rc, style, exStyle, dpiForSize);
  ::SetWindowPos(hwnd, nullptr, 0, 0, rc.right - rc.left, rc.bottom - rc.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

TForm::TForm(const TFormLayout& layout, const wchar_t* className)
    : layout_(layout), native_(std::make_unique<Native>()) {
  native_->form = this;
  RegisterClasses(className);
  native_->background.reset(::CreateSolidBrush(ToColorRef(layout.Color)));
  // With the main form on the taskbar the window has no owner and its own
  // taskbar button.
  DWORD exStyle = WS_EX_TOOLWINDOW;
  if (Application != nullptr && Application->MainFormOnTaskBar) exStyle |= WS_EX_APPWINDOW;
  const DWORD style = WS_CAPTION | WS_SYSMENU | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
  native_->hwnd = ::CreateWindowExW(exStyle, className, layout.Caption.c_str(), style, CW_USEDEFAULT, CW_USEDEFAULT,
                                    layout.ClientWidth, layout.ClientHeight, nullptr, nullptr,
                                    ::GetModuleHandleW(nullptr), native_.get());
  native_->dpi = win32::DpiForWindow(native_->hwnd);
  native_->font.reset(CreateLayoutFont(layout.Font, native_->dpi));
  ::SendMessageW(native_->hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(native_->font.get()), FALSE);
  native_->SizeToClient(native_->dpi);
  if (HICON big = static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), L"MAINICON", IMAGE_ICON,
                                                   ::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON), 0))) {
    ::SendMessageW(native_->hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
  }
}

TForm::~TForm() {
  if (native_->hwnd != nullptr) {
    ::SetWindowLongPtrW(native_->hwnd, GWLP_USERDATA, 0);
    ::DestroyWindow(native_->hwnd);
  }
}

void TForm::Close() {
  if (Application != nullptr && Application->MainForm() == this) {
    Application->Terminate();
  } else {
    ::ShowWindow(native_->hwnd, SW_HIDE);
  }
}

NativeWindow TForm::Handle() const { return native_->hwnd; }

void TForm::DoCreate() {
  if (OnCreate) OnCreate(this);
}

void TForm::DoActivate() {
  if (!OnActivate) return;
  try {
    OnActivate(this);
  } catch (...) {
    Application->HandleException(this);
  }
}

void TForm::Show() {
  ::ShowWindow(native_->hwnd, SW_SHOWNORMAL);
}

TLabel::TLabel(TForm& parent, const TLabelLayout& layout)
    : caption_(layout.Caption), native_(std::make_unique<Native>()) {
  native_->parent = &parent;
  native_->layout = layout;
  native_->background = ToColorRef(parent.Layout().Color);
  HWND parentWindow = static_cast<HWND>(parent.Handle());
  const int dpi = win32::DpiForWindow(parentWindow);
  native_->hwnd = ::CreateWindowExW(0, kLabelClass, layout.Caption.c_str(), WS_CHILD | WS_VISIBLE,
                                    ::MulDiv(layout.Left, dpi, 96), ::MulDiv(layout.Top, dpi, 96),
                                    ::MulDiv(layout.Width, dpi, 96), ::MulDiv(layout.Height, dpi, 96), parentWindow,
                                    nullptr, ::GetModuleHandleW(nullptr), native_.get());
  native_->ApplyDpi(dpi);
  native_->AutoSize(caption_);
  parent.native().labels.push_back(this);
}

TLabel::~TLabel() {
  if (native_->hwnd != nullptr && ::IsWindow(native_->hwnd)) {
    ::SetWindowLongPtrW(native_->hwnd, GWLP_USERDATA, 0);
    ::DestroyWindow(native_->hwnd);
  }
  auto& labels = native_->parent->native().labels;
  labels.erase(std::remove(labels.begin(), labels.end(), this), labels.end());
}

void TLabel::SetCaption(const String& caption) {
  caption_ = caption;
  // The window text is the status text, readable by screen readers at once;
  // the default handling of WM_SETTEXT paints nothing.
  ::SetWindowTextW(native_->hwnd, caption.c_str());
  native_->AutoSize(caption);
}

void TLabel::DpiChanged(int dpi) {
  native_->ApplyDpi(dpi);
  native_->AutoSize(caption_);
}

namespace {
RECT LabelRect(HWND hwnd, int dpi) {
  RECT rc;
  ::GetWindowRect(hwnd, &rc);
  ::MapWindowPoints(nullptr, ::GetParent(hwnd), reinterpret_cast<POINT*>(&rc), 2);
  // Reported in the layout's 96-ppi units.
  return RECT{::MulDiv(rc.left, 96, dpi), ::MulDiv(rc.top, 96, dpi), ::MulDiv(rc.right, 96, dpi),
              ::MulDiv(rc.bottom, 96, dpi)};
}
}  // namespace

int TLabel::Left() const { return LabelRect(native_->hwnd, native_->dpi).left; }
int TLabel::Top() const { return LabelRect(native_->hwnd, native_->dpi).top; }
int TLabel::Width() const {
  const RECT rc = LabelRect(native_->hwnd, native_->dpi);
  return rc.right - rc.left;
}
int TLabel::Height() const {
  const RECT rc = LabelRect(native_->hwnd, native_->dpi);
  return rc.bottom - rc.top;
}

TApplication::TApplication() = default;
TApplication::~TApplication() = default;

void TApplication::Initialize() {
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&icc);
}

void TApplication::Terminate() { ::PostQuitMessage(0); }

void TApplication::ProcessMessages() {
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      MarkTerminated();
      continue;
    }
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

void TApplication::Run() {
  TForm* form = MainForm();
  if (form == nullptr) return;
  form->Show();
  MSG msg;
  while (!Terminated()) {
    const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0 || got == -1) {
      MarkTerminated();
      break;
    }
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

void TApplication::ShowException(const String& message) {
  TForm* form = MainForm();
  HWND owner = form != nullptr ? static_cast<HWND>(form->Handle()) : nullptr;
  const String text = ErrorReportText(message);
  const String caption = Title();
  ::MessageBoxW(owner, text.c_str(), caption.c_str(), MB_OK | MB_ICONERROR);
}

String LowerCaseText(const String& text) {
  String out = text;
  if (!out.empty()) ::CharLowerBuffW(out.data(), static_cast<DWORD>(out.size()));
  return out;
}
