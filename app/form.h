// The framework's form: a top-level window as a component. Its stored
// properties give the caption, border, client size, position on the screen,
// colour and font; the controls it owns sit on its client area. The form
// keeps them itself; its view, when a view provider is installed, is the
// window on the desktop. Closing the application's main form ends the
// message loop.
#ifndef APP_FORM_H
#define APP_FORM_H

#include <memory>
#include <string>

#include "app/controls.h"
#include "app/views.h"
#include "dataset/component.h"
#include "dataset/set.h"

namespace app {

// Border kinds. bsDialog: fixed size, a close box, no minimise or maximise
// box.
enum TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };

// Where the window appears when shown. The design position (Left, Top) is
// used only by poDesigned.
enum TPosition {
  poDesigned,
  poDefault,
  poDefaultPosOnly,
  poDefaultSizeOnly,
  poScreenCenter,
  poDesktopCenter,
  poMainFormCenter,
  poOwnerFormCenter
};

// Named colours: the system colours take the desktop's palette.
enum TColor { clBlack, clWhite, clBtnFace, clBtnText, clWindow, clWindowText };

// Character sets of a font. Qt renders Unicode text, so the set is kept only
// to be stored again.
enum TFontCharset { ANSI_CHARSET, DEFAULT_CHARSET, SYMBOL_CHARSET, OEM_CHARSET };

enum TFontStyle { fsBold, fsItalic, fsUnderline, fsStrikeOut };
using TFontStyles = dataset::TSet<TFontStyle>;

class TForm;

// A form's font. A negative Height is the character height in pixels at the
// form's PixelsPerInch; the window uses the point size that gives, in the
// named family or, when the desktop lacks it, the nearest sans-serif one.
class TFont : public dataset::TPersistent {
 public:
  explicit TFont(TForm* form) : form_(form) {}

  const std::string& Name() const { return name_; }
  void SetName(const std::string& name);
  int Height() const { return height_; }
  void SetHeight(int height);
  TColor Color() const { return color_; }
  void SetColor(TColor color);
  TFontCharset Charset() const { return charset_; }
  void SetCharset(TFontCharset charset) { charset_ = charset; }
  TFontStyles Style() const { return style_; }
  void SetStyle(TFontStyles style);

  // Point size from Height at `pixels_per_inch`, rounded; at least 1.
  int PointSize(int pixels_per_inch) const;

 private:
  TForm* form_;                         // Form whose window shows this font
  std::string name_ = "MS Sans Serif";  // Family asked for
  int height_ = -11;                    // Negative: character height in pixels
  TColor color_ = clWindowText;         // Text colour
  TFontCharset charset_ = DEFAULT_CHARSET;
  TFontStyles style_;  // Bold, italic, ...
};

class TForm : public dataset::TComponent {
 public:
  explicit TForm(dataset::TComponent* owner);
  ~TForm() override;
  TForm(const TForm&) = delete;
  TForm& operator=(const TForm&) = delete;

  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption);
  TFormBorderStyle BorderStyle() const { return border_style_; }
  void SetBorderStyle(TFormBorderStyle style);
  TPosition Position() const { return position_; }
  void SetPosition(TPosition position) { position_ = position; }

  // Design position of the window's frame on the screen.
  int Left() const { return left_; }
  void SetLeft(int left) { left_ = left; }
  int Top() const { return top_; }
  void SetTop(int top) { top_ = top; }

  // Size of the client area in pixels; fixed for bsDialog and bsSingle.
  int ClientWidth() const;
  void SetClientWidth(int width);
  int ClientHeight() const;
  void SetClientHeight(int height);

  TColor Color() const { return color_; }
  void SetColor(TColor color);
  TFont& Font() { return font_; }
  const TFont& Font() const { return font_; }

  // Design-time metrics, stored with the description.
  int PixelsPerInch() const { return pixels_per_inch_; }
  void SetPixelsPerInch(int ppi);
  int TextHeight() const { return text_height_; }
  void SetTextHeight(int height) { text_height_ = height; }
  bool OldCreateOrder() const { return old_create_order_; }
  void SetOldCreateOrder(bool value) { old_create_order_ = value; }

  // Places the window as Position says and shows it; the first control in
  // Tab order that can take the focus gets it. Without a view there is
  // nothing to show.
  void Show();
  // Closes the window; closing the application's last window ends its
  // message loop.
  void Close();

  // Orders the focus chain of the buttons by their TabOrder.
  void UpdateTabOrder();

  // Re-applies the font after one of its properties changed.
  void FontChanged();

  // The window showing the form; null when nothing does.
  FormView* View() const { return view_.get(); }

 protected:
  void Loaded() override;

 private:
  void Resize(int width, int height);
  void FocusFirstControl();

  std::string caption_;  // Window title
  TFormBorderStyle border_style_ = bsSizeable;
  TPosition position_ = poDesigned;
  int left_ = 0;  // Design position of the frame
  int top_ = 0;
  TColor color_ = clBtnFace;
  TFont font_;
  int pixels_per_inch_ = 96;
  int text_height_ = 13;
  bool old_create_order_ = false;
  int client_width_ = 0;  // Client size as set; the view may differ once resized
  int client_height_ = 0;
  std::unique_ptr<FormView> view_;  // Made last: it reads the state above
};

}  // namespace app

#endif  // APP_FORM_H
