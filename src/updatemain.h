#pragma once
// The status window and the update sequence it runs on its first activation.
#include <memory>

#include "framework/forms.h"

class TForm1 : public TForm {
 public:
  TForm1();
  ~TForm1() override;

  std::unique_ptr<TLabel> Label1;  // the status line

  void FormCreate(TObject* Sender);
  void FormActivate(TObject* Sender);
};

// The stored layout of the window and of its status line.
TFormLayout Form1Layout();
TLabelLayout Label1Layout();

// The one status window; set when the program block creates it.
extern TForm1* Form1;
// Whether the update sequence has been started.
extern bool ActivationDone;

// "Schließe Anwendung (2)" counted down over two seconds, then Form1 closes.
void CloseWithCountdown();
