// The form component over a top-level QWidget.
#include "app/form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFont>
#include <QGuiApplication>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <vector>

namespace app {

// The form's top-level window. It has no behaviour of its own beyond what
// Qt gives a plain widget: the close box closes it like Close().
class FormWindow : public QWidget {};

namespace {

QColor ColorFor(TColor color) {
  const QPalette palette = QApplication::palette();
  switch (color) {
    case clBlack:
      return Qt::black;
    case clWhite:
      return Qt::white;
    case clBtnFace:
      return palette.color(QPalette::Button);
    case clBtnText:
      return palette.color(QPalette::ButtonText);
    case clWindow:
      return palette.color(QPalette::Base);
    case clWindowText:
      return palette.color(QPalette::WindowText);
  }
  return palette.color(QPalette::Window);
}

}  // namespace

// --- TFont ------------------------------------------------------------------

void TFont::SetName(const std::string& name) {
  name_ = name;
  form_->FontChanged();
}

void TFont::SetHeight(int height) {
  height_ = height;
  form_->FontChanged();
}

void TFont::SetColor(TColor color) {
  color_ = color;
  form_->FontChanged();
}

void TFont::SetStyle(TFontStyles style) {
  style_ = style;
  form_->FontChanged();
}

int TFont::PointSize(int pixels_per_inch) const {
  // A negative height is the character height in pixels; a positive one
  // includes the internal leading, about a fifth of it.
  const double pixels = height_ < 0 ? -height_ : height_ * 0.8;
  const int ppi = pixels_per_inch > 0 ? pixels_per_inch : 96;
  return std::max(1, static_cast<int>(std::lround(pixels * 72.0 / ppi)));
}

// --- TForm ------------------------------------------------------------------

TForm::TForm(dataset::TComponent* owner)
    : dataset::TComponent(owner), window_(std::make_unique<FormWindow>()), font_(this) {
  window_->setAutoFillBackground(true);
  ApplyBorder();
  ApplyColor();
  FontChanged();
}

// The controls go first, each taking its widget along, then the window.
TForm::~TForm() {
  DestroyComponents();
}

QWidget* TForm::Widget() const {
  return window_.get();
}

void TForm::SetCaption(const std::string& caption) {
  caption_ = caption;
  window_->setWindowTitle(QString::fromLocal8Bit(caption));
}

void TForm::SetBorderStyle(TFormBorderStyle style) {
  border_style_ = style;
  ApplyBorder();
}

int TForm::ClientWidth() const {
  return window_->width();
}
int TForm::ClientHeight() const {
  return window_->height();
}

void TForm::SetClientWidth(int width) {
  Resize(QSize(std::max(width, 0), window_->height()));
}

void TForm::SetClientHeight(int height) {
  Resize(QSize(window_->width(), std::max(height, 0)));
}

void TForm::Resize(QSize size) {
  window_->setMinimumSize(0, 0);
  window_->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  window_->resize(size);
  ApplySizeLimits();
}

// A fixed border keeps the client size it has; the others let it change.
void TForm::ApplySizeLimits() {
  if (border_style_ == bsSizeable || border_style_ == bsSizeToolWin) {
    window_->setMinimumSize(0, 0);
    window_->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  } else {
    window_->setFixedSize(window_->size());
  }
}

void TForm::SetColor(TColor color) {
  color_ = color;
  ApplyColor();
}

void TForm::SetPixelsPerInch(int ppi) {
  pixels_per_inch_ = ppi;
  FontChanged();
}

// Window decorations and resizability for the border style.
void TForm::ApplyBorder() {
  Qt::WindowFlags flags;
  switch (border_style_) {
    case bsNone:
      flags = Qt::Window | Qt::FramelessWindowHint;
      break;
    case bsDialog:
      flags =
          Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
      break;
    case bsSingle:
      flags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
              Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint;
      break;
    case bsToolWindow:
      flags = Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
      break;
    case bsSizeToolWin:
      flags = Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
      break;
    case bsSizeable:
      flags = Qt::Window;
      break;
  }
  const bool visible = window_->isVisible();
  window_->setWindowFlags(flags);
  ApplySizeLimits();
  if (visible) window_->show();  // changing the flags hides a shown window
}

void TForm::ApplyColor() {
  QPalette palette = window_->palette();
  palette.setColor(QPalette::Window, ColorFor(color_));
  window_->setPalette(palette);
}

// The form's font reaches every control that keeps the default, as the
// controls on the form do; labels then resize to their text.
void TForm::FontChanged() {
  QFont font(QString::fromLocal8Bit(font_.Name()));
  font.setStyleHint(QFont::SansSerif);
  font.setPointSize(font_.PointSize(pixels_per_inch_));
  font.setBold(font_.Style().Contains(fsBold));
  font.setItalic(font_.Style().Contains(fsItalic));
  font.setUnderline(font_.Style().Contains(fsUnderline));
  font.setStrikeOut(font_.Style().Contains(fsStrikeOut));
  window_->setFont(font);
  QPalette palette = window_->palette();
  palette.setColor(QPalette::WindowText, ColorFor(font_.Color()));
  window_->setPalette(palette);
  for (int i = 0; i < ComponentCount(); ++i) {
    if (auto* label = dynamic_cast<TLabel*>(Components(i))) label->FontChanged();
  }
}

void TForm::UpdateTabOrder() {
  std::vector<TButton*> buttons;
  for (int i = 0; i < ComponentCount(); ++i) {
    auto* button = dynamic_cast<TButton*>(Components(i));
    if (button != nullptr && button->TabOrder() >= 0 && button->Widget() != nullptr)
      buttons.push_back(button);
  }
  std::stable_sort(buttons.begin(), buttons.end(), [](const TButton* a, const TButton* b) {
    return a->TabOrder() < b->TabOrder();
  });
  for (size_t i = 1; i < buttons.size(); ++i)
    QWidget::setTabOrder(buttons[i - 1]->Widget(), buttons[i]->Widget());
}

void TForm::Loaded() {
  dataset::TComponent::Loaded();
  UpdateTabOrder();
}

void TForm::Show() {
  PlaceOnScreen();
  window_->show();
  FocusFirstControl();
}

void TForm::Close() {
  window_->close();
}

// The design position counts for poDesigned only. Centring uses the size of
// the frame: creating the native window first lets the platform report its
// frame margins before the window is shown.
void TForm::PlaceOnScreen() {
  window_->winId();
  QPoint top_left(left_, top_);
  if (position_ == poScreenCenter || position_ == poDesktopCenter ||
      position_ == poMainFormCenter || position_ == poOwnerFormCenter) {
    QScreen* screen =
        window_->screen() != nullptr ? window_->screen() : QGuiApplication::primaryScreen();
    if (screen != nullptr) {
      const QRect area =
          position_ == poDesktopCenter ? screen->virtualGeometry() : screen->geometry();
      const QSize frame = window_->frameGeometry().size();
      top_left = QPoint(area.x() + (area.width() - frame.width()) / 2,
                        area.y() + (area.height() - frame.height()) / 2);
    }
  }
  if (position_ != poDefault && position_ != poDefaultPosOnly) window_->move(top_left);
}

void TForm::FocusFirstControl() {
  TButton* first = nullptr;
  for (int i = 0; i < ComponentCount(); ++i) {
    auto* button = dynamic_cast<TButton*>(Components(i));
    if (button == nullptr || button->TabOrder() < 0 || !button->Enabled()) continue;
    if (first == nullptr || button->TabOrder() < first->TabOrder()) first = button;
  }
  if (first != nullptr) first->Widget()->setFocus(Qt::OtherFocusReason);
}

}  // namespace app
