#pragma once
// The status window and the update sequence it runs on its first activation.
#include <memory>

#include "framework/forms.h"
#include "install/ab_unzipper.h"
#include "server/idhttp.h"

class TForm1 : public TForm {
 public:
  TForm1();
  ~TForm1() override;

  std::unique_ptr<TLabel> Label1;    // the status line
  std::unique_ptr<TIdHTTP> IdHTTP1;  // the update server access
  std::unique_ptr<TAbUnZipper> AbUnZipper1;  // unpacks the update archive

  void FormCreate(TObject* Sender);
  void FormActivate(TObject* Sender);

 private:
  // The second half of the update sequence, after the user agreed to update.
  void DownloadAndInstall(const String& newestVersion);
  // False when the download failed or the user closed the window meanwhile;
  // the sequence has then ended.
  bool DownloadStage(const String& newestVersion);
  void InstallationStage();
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

// The question asked before the host application is closed.
String ClosingConfirmationText();

// The question asked before an update: both versions, then "Updaten?", each
// line break a line feed followed by a carriage return.
String UpdateConfirmationText(const String& installedVersion, const String& newestVersion);
