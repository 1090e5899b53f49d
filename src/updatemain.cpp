#include "updatemain.h"

#include <string>

#include "framework/classes.h"
#include "framework/dialogs.h"
#include "framework/sysutils.h"
#include "framework/winapi.h"
#include "install/host_application.h"
#include "install/update_archive.h"
#include "server/update_server.h"

TForm1* Form1 = nullptr;
bool ActivationDone = false;

namespace {

const String kLineBreak = L"\n\r";  // line feed, then carriage return

void ShowStatus(const String& text) { Form1->Label1->SetCaption(text); }

// Handles every waiting message. True when a close request was among them:
// the user asked to close, and the sequence stops at that pump, as long as
// the installation has not begun.
bool PumpTakesClose() {
  Application->ProcessMessages();
  return Application->Terminated();
}

// Inside the installation stage, which runs to its end once begun.
void Pump() { Application->ProcessMessages(); }

void Pause(uint32_t milliseconds) { Winapi::Sleep(milliseconds); }

// The answer of both stages to any failure: no detail is shown or kept.
void ReportFailureAndClose() {
  ShowMessage(L"unbekannter Fehler :(");
  CloseWithCountdown();
}

bool Confirmed(const String& question) {
  return MessageDlgPosHelp(question, TMsgDlgType::mtConfirmation, {TMsgDlgBtn::mbOK, TMsgDlgBtn::mbCancel}, 0, -1,
                           -1, L"") == mrOk;
}

// "Keine neue Version (3)" counted down to 0, then the window closes without
// the closing countdown.
void CloseAfterNoNewVersion() {
  ShowStatus(L"Keine neue Version (3)");
  short counter = 3;
  do {
    --counter;
    if (PumpTakesClose()) return;
    Pause(1000);
    ShowStatus(L"Keine neue Version (" + std::to_wstring(counter) + L")");
  } while (counter != 0);
  Form1->Close();
}

}  // namespace

TForm1::TForm1() : TForm(Form1Layout(), L"TForm1") {
  Label1 = std::make_unique<TLabel>(*this, Label1Layout());
  IdHTTP1 = std::make_unique<TIdHTTP>();
  AbUnZipper1 = std::make_unique<TAbUnZipper>();
  OnCreate = [this](TObject* sender) { FormCreate(sender); };
  OnActivate = [this](TObject* sender) { FormActivate(sender); };
}

TForm1::~TForm1() = default;

void TForm1::FormCreate(TObject*) {
  ActivationDone = false;
  Pause(1000);
}

void TForm1::FormActivate(TObject*) {
  if (ActivationDone) return;
  ActivationDone = true;

  const String installedVersion = ParamStr(1);
  if (installedVersion.empty()) {
    ShowStatus(L"Bitte über Quorbix! starten");
    if (PumpTakesClose()) return;
    Pause(2000);
    CloseWithCountdown();
    return;
  }

  // Failures from here to the comparison reach the application's error report.
  const String newestVersion = FetchNewestVersion(*IdHTTP1);
  const long double newest = StrToFloat(newestVersion);
  const long double installed = StrToFloat(installedVersion);
  if (installed >= newest) {
    CloseAfterNoNewVersion();
    return;
  }
  if (!Confirmed(UpdateConfirmationText(installedVersion, newestVersion))) {
    CloseWithCountdown();
    return;
  }
  DownloadAndInstall(newestVersion);
}

void TForm1::DownloadAndInstall(const String& newestVersion) {
  if (!DownloadStage(newestVersion)) return;
  if (!Confirmed(ClosingConfirmationText())) {
    CloseWithCountdown();
    return;
  }
  InstallationStage();
}

bool TForm1::DownloadStage(const String& newestVersion) {
  try {
    ShowStatus(L"Lade neue Version");
    if (PumpTakesClose()) return false;
    {
      // Emptied if it is there; others may read and write it meanwhile, but
      // not delete or rename it.
      TFileStream archive(UpdateArchivePath(), fmCreate | fmShareDenyNone);
      DownloadUpdateArchive(*IdHTTP1, newestVersion, archive);
    }
    // A body that is no ZIP archive (an error page served as success, an
    // empty or cut body) fails here, before the host application is touched.
    AbUnZipper1->OpenArchive(UpdateArchivePath());
    AbUnZipper1->CloseArchive();
    return true;
  } catch (...) {
    ReportFailureAndClose();
    return false;
  }
}

void TForm1::InstallationStage() {
  try {
    ShowStatus(L"Schließe Quorbix!");
    StopProcessesByExeName(HostApplicationExeName);
    StopProcessesByExeName(HostApplicationExeName);
    StopProcessesByExeName(HostApplicationExeName);
    Pump();
    Pause(1000);
    ShowStatus(L"Entpacke neue Version");
    UnpackUpdateArchive(*AbUnZipper1);
    Pump();
    Pause(1000);
    ShowStatus(L"Starte Quorbix!");
    StartHostApplication(Handle());
    Pump();
    Pause(1000);
    ShowStatus(L"Update erfolgreich");
    RemoveUpdateArchive();
    Pump();
    Pause(1000);
    CloseWithCountdown();
  } catch (...) {
    ReportFailureAndClose();
  }
}

String ClosingConfirmationText() { return L"Quorbix! muss geschlossen werden" + kLineBreak + L"OK?"; }

String UpdateConfirmationText(const String& installedVersion, const String& newestVersion) {
  return L"Ihre Version: " + installedVersion + kLineBreak + L"Aktuelle Version: " + newestVersion + kLineBreak +
         L"Updaten?";
}

void CloseWithCountdown() {
  ShowStatus(L"Schließe Anwendung (2)");
  short counter = 2;
  do {
    --counter;
    if (PumpTakesClose()) return;
    Pause(1000);
    ShowStatus(L"Schließe Anwendung (" + std::to_wstring(counter) + L")");
  } while (counter != 0);
  Form1->Close();
}
