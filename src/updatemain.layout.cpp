// The stored layout of the status window, as designed at 96 pixels per inch.
#include "updatemain.h"

TFormLayout Form1Layout() {
  TFormLayout f;
  f.Caption = L"Quorbix! Update";
  f.BorderStyle = TBorderStyle::bsToolWindow;
  f.ClientWidth = 270;
  f.ClientHeight = 46;
  f.Color = clWhite;
  f.Font = TFontSpec{L"Tahoma", -11, false, DEFAULT_CHARSET, clWindowText};
  f.Left = 0;
  f.Top = 0;
  f.Position = TPosition::poDefaultPosOnly;
  f.PixelsPerInch = 96;
  f.TextHeight = 13;
  return f;
}

TLabelLayout Label1Layout() {
  TLabelLayout l;
  l.Left = 50;
  l.Top = 13;
  l.Width = 169;
  l.Height = 16;
  l.Caption = L"Suche nach neuer Version";
  l.Font = TFontSpec{L"Tahoma", -13, true, DEFAULT_CHARSET, clWindowText};
  l.ParentFont = false;
  l.Layout = TTextLayout::tlCenter;
  l.AutoSize = true;
  return l;
}
