#include "app/window_classes.h"

#include <mutex>

#include "app/controls.h"
#include "app/form.h"
#include "app/repair_window.h"
#include "dataset/streaming.h"

namespace app {

namespace {

using dataset::RegisterClass;

const std::vector<std::string> kColorNames = {"clBlack",   "clWhite",  "clBtnFace",
                                              "clBtnText", "clWindow", "clWindowText"};

void RegisterFont() {
  RegisterClass<TFont, dataset::TPersistent>("TFont")
      .Enum<TFontCharset>("Charset", &TFont::Charset, &TFont::SetCharset,
                          {"ANSI_CHARSET", "DEFAULT_CHARSET", "SYMBOL_CHARSET", "OEM_CHARSET"})
      .Enum<TColor>("Color", &TFont::Color, &TFont::SetColor, kColorNames)
      .Integer("Height", &TFont::Height, &TFont::SetHeight)
      .String("Name", &TFont::Name, &TFont::SetName, std::nullopt)
      .Set<TFontStyle>("Style", &TFont::Style, &TFont::SetStyle,
                       {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"});
}

// Properties in the order a stored window lists them.
void RegisterForms() {
  RegisterClass<TForm, dataset::TComponent>("TForm")
      .Integer("Left", &TForm::Left, &TForm::SetLeft)
      .Integer("Top", &TForm::Top, &TForm::SetTop)
      .Enum<TFormBorderStyle>(
          "BorderStyle", &TForm::BorderStyle, &TForm::SetBorderStyle,
          {"bsNone", "bsSingle", "bsSizeable", "bsDialog", "bsToolWindow", "bsSizeToolWin"},
          bsSizeable)
      .String("Caption", &TForm::Caption, &TForm::SetCaption)
      .Integer("ClientHeight", &TForm::ClientHeight, &TForm::SetClientHeight)
      .Integer("ClientWidth", &TForm::ClientWidth, &TForm::SetClientWidth)
      .Enum<TColor>("Color", &TForm::Color, &TForm::SetColor, kColorNames)
      .Object("Font", [](TForm& form) { return &form.Font(); })
      .Boolean("OldCreateOrder", &TForm::OldCreateOrder, &TForm::SetOldCreateOrder)
      .Enum<TPosition>(
          "Position", &TForm::Position, &TForm::SetPosition,
          {"poDesigned", "poDefault", "poDefaultPosOnly", "poDefaultSizeOnly", "poScreenCenter",
           "poDesktopCenter", "poMainFormCenter", "poOwnerFormCenter"},
          poDesigned)
      .Integer("PixelsPerInch", &TForm::PixelsPerInch, &TForm::SetPixelsPerInch)
      .Integer("TextHeight", &TForm::TextHeight, &TForm::SetTextHeight);
  RegisterClass<TForm1, TForm>("TForm1");
}

void RegisterControls() {
  RegisterClass<TControl, dataset::TComponent>("TControl")
      .Integer("Left", &TControl::Left, &TControl::SetLeft)
      .Integer("Top", &TControl::Top, &TControl::SetTop)
      .Integer("Width", &TControl::Width, &TControl::SetWidth)
      .Integer("Height", &TControl::Height, &TControl::SetHeight)
      .Boolean("Enabled", &TControl::Enabled, &TControl::SetEnabled, true);
  RegisterClass<TLabel, TControl>("TLabel")
      .Boolean("AutoSize", &TLabel::AutoSize, &TLabel::SetAutoSize, true)
      .String("Caption", &TLabel::Caption, &TLabel::SetCaption);
  RegisterClass<TButton, TControl>("TButton")
      .String("Caption", &TButton::Caption, &TButton::SetCaption)
      .Integer("TabOrder", &TButton::TabOrder, &TButton::SetTabOrder, -1)
      .Event("OnClick", &TButton::OnClickName, &TButton::SetOnClickHandler);
}

}  // namespace

void RegisterWindowClasses() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterFont();
    RegisterForms();
    RegisterControls();
  });
}

}  // namespace app
