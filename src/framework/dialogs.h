#pragma once
// Standard dialogs: the confirmation message dialog and the plain message.
#include <cstdint>
#include <initializer_list>

#include "framework/text.h"

enum class TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };
enum class TMsgDlgBtn { mbOK, mbCancel };

class TMsgDlgButtons {
 public:
  TMsgDlgButtons(std::initializer_list<TMsgDlgBtn> buttons) {
    for (auto b : buttons) bits_ |= 1u << static_cast<unsigned>(b);
  }
  bool Contains(TMsgDlgBtn b) const { return (bits_ >> static_cast<unsigned>(b)) & 1u; }

 private:
  uint32_t bits_ = 0;
};

constexpr int mrNone = 0;
constexpr int mrOk = 1;
constexpr int mrCancel = 2;

// A modal dialog over the active form. X and Y of -1 centre it on the screen.
// Returns mrOk or mrCancel (Esc and the close box give mrCancel).
int MessageDlgPosHelp(const String& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx,
                      int X, int Y, const String& HelpFileName);

// A modal message without icon, captioned with the application title, with one
// "OK" button.
void ShowMessage(const String& Msg);

// Caption of the confirmation dialog and the texts of its buttons.
inline const wchar_t* const ConfirmationCaption = L"Bestätigen";
inline const wchar_t* const OkButtonText = L"OK";
inline const wchar_t* const CancelButtonText = L"Abbrechen";
