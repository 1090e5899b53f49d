#include "framework/winapi.h"
#include "framework/win32/win32_api.h"

namespace Winapi {

void Sleep(uint32_t milliseconds) { ::Sleep(milliseconds); }

}  // namespace Winapi
