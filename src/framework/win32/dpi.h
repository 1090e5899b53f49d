#pragma once
// Pixels per inch of a window, for scaling the 96-ppi layout. The per-monitor
// functions exist from Windows 10 on; older systems use the screen's setting.
#include "framework/win32/win32_api.h"

namespace win32 {

int DpiForWindow(HWND hwnd);
void AdjustWindowRectForDpi(RECT* rect, DWORD style, DWORD exStyle, int dpi);

}  // namespace win32
