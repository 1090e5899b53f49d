// The framework's forms without a screen: every effect a person would see is
// recorded in the session's timeline.
#include <algorithm>

#include "framework/forms.h"
#include "framework/headless/session.h"

using headless::Session;
using headless::UserAction;

struct TForm::Native {
  TLabel* statusLabel = nullptr;  // the label whose text a pump paints
};

struct TLabel::Native {
  int left = 0, top = 0, width = 0, height = 0;
};

namespace {

// Tahoma bold at 13 px averages about 7 px a character; enough to see a
// label widen for a longer text.
int EstimatedTextWidth(const String& text) { return static_cast<int>(text.size()) * 7; }

}  // namespace

TForm::TForm(const TFormLayout& layout, const wchar_t*) : layout_(layout), native_(std::make_unique<Native>()) {
  Session::Current().Record("window-created", layout.Caption);
}

TForm::~TForm() = default;

void TForm::Close() {
  Session::Current().Record("close");
  if (Application != nullptr && Application->MainForm() == this) Application->Terminate();
}

NativeWindow TForm::Handle() const { return const_cast<TForm*>(this); }

void TForm::DoCreate() {
  if (OnCreate) OnCreate(this);
}

void TForm::Show() {
  Session::Current().Record("window-shown", layout_.Caption);
  DoActivate();
}

void TForm::DoActivate() {
  Session::Current().Record("activate");
  if (!OnActivate) return;
  try {
    OnActivate(this);
  } catch (...) {
    Application->HandleException(this);
  }
}

TLabel::TLabel(TForm& parent, const TLabelLayout& layout)
    : caption_(layout.Caption), native_(std::make_unique<Native>()) {
  native_->left = layout.Left;
  native_->top = layout.Top;
  native_->width = layout.Width;
  native_->height = layout.Height;
  if (parent.native().statusLabel == nullptr) parent.native().statusLabel = this;
}

TLabel::~TLabel() = default;

void TLabel::SetCaption(const String& caption) {
  caption_ = caption;
  native_->width = EstimatedTextWidth(caption);
  Session::Current().Record("show", caption);
}

int TLabel::Left() const { return native_->left; }
int TLabel::Top() const { return native_->top; }
int TLabel::Width() const { return native_->width; }
int TLabel::Height() const { return native_->height; }

TApplication::TApplication() = default;
TApplication::~TApplication() = default;

void TApplication::Initialize() {}

void TApplication::Terminate() {
  auto& s = Session::Current();
  s.Record("quit-posted");
  s.quitPending = true;
}

void TApplication::ProcessMessages() {
  auto& s = Session::Current();
  const int pump = s.NextPump();
  TForm* form = MainForm();
  TLabel* label = form != nullptr ? form->native().statusLabel : nullptr;
  s.Record("pump", label != nullptr ? label->Caption() : String());
  if (s.atPump) s.atPump(pump);
  if (auto it = s.actionsAtPump.find(pump); it != s.actionsAtPump.end() && form != nullptr) {
    for (UserAction action : it->second) {
      if (action == UserAction::Close) {
        s.Record("user-close");
        form->Close();
      } else {
        form->DoActivate();
      }
    }
  }
  if (s.quitPending) {
    s.quitPending = false;
    s.Record("quit-taken");
    MarkTerminated();
  }
}

void TApplication::Run() {
  auto& s = Session::Current();
  TForm* form = MainForm();
  if (form == nullptr) return;
  form->Show();
  while (!Terminated()) {
    if (s.quitPending) {
      s.quitPending = false;
      s.Record("quit-taken");
      MarkTerminated();
      break;
    }
    // Nothing more would happen on its own: the window is left open.
    s.Record("left-open");
    if (!s.closeWhenLeftOpen) break;
    s.Record("user-close");
    form->Close();
  }
}

void TApplication::ShowException(const String& message) {
  Session::Current().Record("error-report", ErrorReportText(message), StringToUtf8(Title()) + " [error] [OK]");
}

String LowerCaseText(const String& text) {
  String out = text;
  for (auto& c : out) {
    const auto code = static_cast<uint32_t>(c);
    if ((code >= 'A' && code <= 'Z') || (code >= 0xC0 && code <= 0xDE && code != 0xD7)) {
      c = static_cast<wchar_t>(code + 32);
    } else if (code >= 0x100 && code <= 0x17F && code % 2 == 0 && code != 0x130 && code != 0x138) {
      c = static_cast<wchar_t>(code + 1);
    }
  }
  return out;
}
