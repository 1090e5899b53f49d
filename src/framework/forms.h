#pragma once
// The application framework: the application object, forms built from a
// stored layout, and the label. Win32 and headless implementations share
// this interface.
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

#include "framework/text.h"

class TObject {
 public:
  virtual ~TObject() = default;
};

class TComponent : public TObject {};

using TNotifyEvent = std::function<void(TObject* sender)>;
using NativeWindow = void*;  // HWND on Windows

using TColor = uint32_t;  // 0x00BBGGRR
constexpr TColor clWhite = 0x00FFFFFF;
constexpr TColor clWindowText = 0xFF000008;  // the system's window text colour

enum class TBorderStyle { bsToolWindow };
enum class TPosition { poDefaultPosOnly };
enum class TTextLayout { tlTop, tlCenter, tlBottom };

#ifndef DEFAULT_CHARSET  // the Windows headers define it with the same value
constexpr int DEFAULT_CHARSET = 1;
#endif

struct TFontSpec {
  String Name;
  int Height = -11;  // negative: character height in pixels at PixelsPerInch
  bool Bold = false;
  int Charset = DEFAULT_CHARSET;
  TColor Color = clWindowText;
};

struct TFormLayout {
  String Caption;
  TBorderStyle BorderStyle = TBorderStyle::bsToolWindow;
  int ClientWidth = 0;
  int ClientHeight = 0;
  TColor Color = clWhite;
  TFontSpec Font;
  int Left = 0;  // stored, unused with poDefaultPosOnly
  int Top = 0;
  TPosition Position = TPosition::poDefaultPosOnly;
  int PixelsPerInch = 96;
  int TextHeight = 13;
};

struct TLabelLayout {
  int Left = 0;
  int Top = 0;
  int Width = 0;
  int Height = 0;
  String Caption;
  TFontSpec Font;
  bool ParentFont = false;
  TTextLayout Layout = TTextLayout::tlTop;
  bool AutoSize = true;
};

class TForm;

class TLabel : public TComponent {
 public:
  TLabel(TForm& parent, const TLabelLayout& layout);
  ~TLabel() override;
  // Marks the label for repainting and sizes it to the text; painting
  // happens when messages are next handled.
  void SetCaption(const String& caption);
  const String& Caption() const { return caption_; }
  int Left() const;
  int Top() const;
  int Width() const;
  int Height() const;

  // Framework internals.
  void DpiChanged(int dpi);
  struct Native;

 private:
  String caption_;
  std::unique_ptr<Native> native_;
};

class TForm : public TComponent {
 public:
  // className names the window class, as the form's own class is named.
  TForm(const TFormLayout& layout, const wchar_t* className);
  ~TForm() override;

  TNotifyEvent OnCreate;
  TNotifyEvent OnActivate;

  // Asks the form to close; for the main form this terminates the
  // application (the quit message is posted). Never waits, never refuses.
  void Close();
  NativeWindow Handle() const;
  const TFormLayout& Layout() const { return layout_; }

  // Framework internals.
  void DoCreate();
  void DoActivate();
  void Show();
  struct Native;
  Native& native() { return *native_; }

 private:
  TFormLayout layout_;
  std::unique_ptr<Native> native_;
};

class TApplication : public TComponent {
 public:
  TApplication();
  ~TApplication() override;

  void Initialize();
  bool MainFormOnTaskBar = false;

  // Creates the form, sets `reference` to it, then runs its creation handler.
  // The first form created becomes the main form.
  template <class T>
  void CreateForm(T*& reference) {
    auto form = std::make_unique<T>();
    reference = form.get();
    T* created = form.get();
    forms_.push_back(std::move(form));
    created->DoCreate();
  }

  // Shows the main form, then handles messages until the quit message.
  void Run();
  // Handles every waiting message, then returns; a quit message taken here
  // only marks the application as terminating.
  void ProcessMessages();
  void Terminate();
  bool Terminated() const { return terminated_; }

  // Called inside a catch block: reports the exception being handled.
  void HandleException(TObject* sender);
  void ShowException(const String& message);

  TForm* MainForm() const { return forms_.empty() ? nullptr : forms_.front().get(); }
  String Title() const;

  void MarkTerminated() { terminated_ = true; }

 private:
  std::vector<std::unique_ptr<TForm>> forms_;
  bool terminated_ = false;
};

extern TApplication* Application;

// The application title: the executable's file name without its folder, cut
// at its first full stop, every letter after the first in lower case.
String ApplicationTitleFromPath(const String& exePath);

// The error report's text: the message with "." appended when its last
// character sorts after ".".
String ErrorReportText(const String& message);

// The message of any exception object, for the error report.
String ExceptionMessage(const std::exception_ptr& error);

// Lower-cases letters the way the platform does. Platform code.
String LowerCaseText(const String& text);
