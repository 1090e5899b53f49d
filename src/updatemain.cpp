#include "updatemain.h"

#include <string>

#include "framework/winapi.h"

TForm1* Form1 = nullptr;
bool ActivationDone = false;

TForm1::TForm1() : TForm(Form1Layout(), L"TForm1") {
  Label1 = std::make_unique<TLabel>(*this, Label1Layout());
  OnCreate = [this](TObject* sender) { FormCreate(sender); };
  OnActivate = [this](TObject* sender) { FormActivate(sender); };
}

TForm1::~TForm1() = default;

void TForm1::FormCreate(TObject*) {
  ActivationDone = false;
  Winapi::Sleep(1000);
}

void TForm1::FormActivate(TObject*) {
  if (ActivationDone) return;
  ActivationDone = true;
  CloseWithCountdown();
}

void CloseWithCountdown() {
  Form1->Label1->SetCaption(L"Schließe Anwendung (2)");
  short counter = 2;
  do {
    --counter;
    Application->ProcessMessages();
    Winapi::Sleep(1000);
    Form1->Label1->SetCaption(L"Schließe Anwendung (" + std::to_wstring(counter) + L")");
  } while (counter != 0);
  Form1->Close();
}
