// The Windows entry point: runs the program block with the application object
// and frees it, with the window and its components, before the program ends.
#include "framework/forms.h"
#include "framework/program.h"
#include "framework/win32/win32_api.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  int exitCode = 0;
  {
    TApplication application;
    Application = &application;
    exitCode = ProgramMain();
    Application = nullptr;
  }
  return exitCode;
}
