#pragma once
// The few Windows functions the window code calls directly.
#include <cstdint>

namespace Winapi {
// Blocks the thread; no message is handled meanwhile.
void Sleep(uint32_t milliseconds);
}  // namespace Winapi
