#include "framework/forms.h"
#include "framework/headless/session.h"
#include "framework/program.h"
#include "framework/sysutils.h"

namespace headless {

int Session::RunProgram() {
  FormatSettings.DecimalSeparator = decimalSeparator;
  int exitCode = 0;
  {
    TApplication application;
    Application = &application;
    exitCode = ProgramMain();
    Application = nullptr;
  }
  Record("exit", {}, std::to_string(exitCode));
  return exitCode;
}

}  // namespace headless
