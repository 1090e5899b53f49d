#include "framework/headless/session.h"
#include "framework/winapi.h"

namespace Winapi {

// Advances the virtual clock instead of sleeping.
void Sleep(uint32_t milliseconds) {
  auto& s = headless::Session::Current();
  s.Record("pause", {}, std::to_string(milliseconds));
  s.Advance(milliseconds);
}

}  // namespace Winapi
