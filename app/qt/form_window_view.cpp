// The form's view: a top-level QWidget showing the form's caption, border,
// client size, colour and font, placed on the screen as the form says.
#include <QApplication>
#include <QFont>
#include <QGuiApplication>
#include <QPalette>
#include <QScreen>
#include <QWidget>

#include "app/form.h"
#include "app/qt/widget_views.h"

namespace app {

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

class FormWindowView : public FormView, public WidgetView {
 public:
  explicit FormWindowView(TForm& form) : form_(form), window_(std::make_unique<QWidget>()) {
    window_->setAutoFillBackground(true);
    BorderChanged();
    ColorChanged();
    FontChanged();
  }

  QWidget* Widget() const override { return window_.get(); }

  void CaptionChanged() override {
    window_->setWindowTitle(QString::fromLocal8Bit(form_.Caption()));
  }

  // Window decorations and resizability for the border style. bsDialog:
  // fixed size, a close box, no minimise or maximise box.
  void BorderChanged() override {
    Qt::WindowFlags flags;
    switch (form_.BorderStyle()) {
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
      case bsSizeToolWin:
        flags =
            Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
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

  void ColorChanged() override {
    QPalette palette = window_->palette();
    palette.setColor(QPalette::Window, ColorFor(form_.Color()));
    window_->setPalette(palette);
  }

  // The font is set on the window; the controls on it inherit it. The
  // named family is used where the desktop has it, else the nearest
  // sans-serif one.
  void FontChanged() override {
    const TFont& source = form_.Font();
    QFont font(QString::fromLocal8Bit(source.Name()));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(source.PointSize(form_.PixelsPerInch()));
    font.setBold(source.Style().Contains(fsBold));
    font.setItalic(source.Style().Contains(fsItalic));
    font.setUnderline(source.Style().Contains(fsUnderline));
    font.setStrikeOut(source.Style().Contains(fsStrikeOut));
    window_->setFont(font);
    QPalette palette = window_->palette();
    palette.setColor(QPalette::WindowText, ColorFor(source.Color()));
    window_->setPalette(palette);
  }

  TExtent ClientSize() const override { return {window_->width(), window_->height()}; }

  void SetClientSize(int width, int height) override {
    window_->setMinimumSize(0, 0);
    window_->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    window_->resize(width, height);
    ApplySizeLimits();
  }

  void OrderFocus(const std::vector<ControlView*>& chain) override {
    QWidget* previous = nullptr;
    for (ControlView* view : chain) {
      QWidget* widget = WidgetBehind(view);
      if (widget == nullptr) continue;
      if (previous != nullptr) QWidget::setTabOrder(previous, widget);
      previous = widget;
    }
  }

  void Show() override {
    PlaceOnScreen();
    window_->show();
  }

  void Close() override { window_->close(); }

 private:
  // A fixed border keeps the client size it has; the others let it change.
  void ApplySizeLimits() {
    const TFormBorderStyle style = form_.BorderStyle();
    if (style == bsSizeable || style == bsSizeToolWin) {
      window_->setMinimumSize(0, 0);
      window_->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    } else {
      window_->setFixedSize(window_->size());
    }
  }

  // The design position counts for poDesigned only. Centring uses the size
  // of the frame: creating the native window first lets the platform report
  // its frame margins before the window is shown.
  void PlaceOnScreen() {
    window_->winId();
    const TPosition position = form_.Position();
    QPoint top_left(form_.Left(), form_.Top());
    if (position == poScreenCenter || position == poDesktopCenter || position == poMainFormCenter ||
        position == poOwnerFormCenter) {
      QScreen* screen =
          window_->screen() != nullptr ? window_->screen() : QGuiApplication::primaryScreen();
      if (screen != nullptr) {
        const QRect area =
            position == poDesktopCenter ? screen->virtualGeometry() : screen->geometry();
        const QSize frame = window_->frameGeometry().size();
        top_left = QPoint(area.x() + (area.width() - frame.width()) / 2,
                          area.y() + (area.height() - frame.height()) / 2);
      }
    }
    if (position != poDefault && position != poDefaultPosOnly) window_->move(top_left);
  }

  TForm& form_;                      // The form shown
  std::unique_ptr<QWidget> window_;  // Its top-level window
};

}  // namespace

std::unique_ptr<FormView> MakeFormWindowView(TForm& form) {
  return std::make_unique<FormWindowView>(form);
}

}  // namespace app
