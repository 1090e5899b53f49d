// The program block.
#include "framework/forms.h"
#include "framework/program.h"
#include "updatemain.h"

int ProgramMain() {
  Application->Initialize();
  Application->MainFormOnTaskBar = true;
  Application->CreateForm(Form1);
  Application->Run();
  return 0;
}
