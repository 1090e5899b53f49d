#include "framework/win32/dpi.h"

namespace win32 {
namespace {

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);

template <class F>
F User32Function(const char* name) {
  return ProcAddress<F>(::GetModuleHandleW(L"user32.dll"), name);
}

}  // namespace

int DpiForWindow(HWND hwnd) {
  static const auto getDpiForWindow = User32Function<GetDpiForWindowFn>("GetDpiForWindow");
  if (getDpiForWindow != nullptr && hwnd != nullptr) {
    const UINT dpi = getDpiForWindow(hwnd);
    if (dpi != 0) return static_cast<int>(dpi);
  }
  HDC screen = ::GetDC(nullptr);
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

void AdjustWindowRectForDpi(RECT* rect, DWORD style, DWORD exStyle, int dpi) {
  static const auto adjust =
      User32Function<AdjustWindowRectExForDpiFn>("AdjustWindowRectExForDpi");
  if (adjust != nullptr && adjust(rect, style, FALSE, exStyle, static_cast<UINT>(dpi))) return;
  ::AdjustWindowRectEx(rect, style, FALSE, exStyle);
}

}  // namespace win32
