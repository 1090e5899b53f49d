#include "framework/dialogs.h"
#include "framework/forms.h"
#include "framework/headless/session.h"

using headless::Session;

int MessageDlgPosHelp(const String& Msg, TMsgDlgType, TMsgDlgButtons Buttons, int, int, int, const String&) {
  auto& s = Session::Current();
  int answer = mrCancel;
  std::string how = "unscripted -> Abbrechen";
  if (!s.dialogAnswers.empty()) {
    answer = s.dialogAnswers.front();
    s.dialogAnswers.pop_front();
    how = answer == mrOk ? "-> OK" : "-> Abbrechen";
  }
  std::string buttons;
  if (Buttons.Contains(TMsgDlgBtn::mbOK)) buttons += "OK*";
  if (Buttons.Contains(TMsgDlgBtn::mbCancel)) buttons += buttons.empty() ? "Abbrechen" : ",Abbrechen";
  s.Record("dialog", Msg, StringToUtf8(ConfirmationCaption) + " [information] [" + buttons + "] " + how);
  return answer;
}

void ShowMessage(const String& Msg) {
  Session::Current().Record("message", Msg, StringToUtf8(Application->Title()) + " [OK]");
}
