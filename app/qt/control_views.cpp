// The views of the label and the push button: a QLabel and a QPushButton on
// the form's window.
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>

#include "app/controls.h"
#include "app/form.h"
#include "app/qt/widget_views.h"

namespace app {

namespace {

QString ToQString(const std::string& text) {
  return QString::fromLocal8Bit(text);
}

// A push button that, as on a dialog of the classic desktop, also clicks on
// Enter and Return while it has the focus. Space is handled by Qt itself.
class PushButtonWidget : public QPushButton {
 public:
  PushButtonWidget() {
    setAutoDefault(false);
    setDefault(false);
    setFocusPolicy(Qt::StrongFocus);
  }

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        !event->isAutoRepeat()) {
      event->accept();
      click();
      return;
    }
    QPushButton::keyPressEvent(event);
  }
};

// One widget per control, placed on the client area of the control's form
// when the form has a window, and shown with it.
class ControlWidgetView : public ControlView, public WidgetView {
 public:
  ControlWidgetView(const TControl& control, QWidget* widget) : widget_(widget) {
    if (control.Form() != nullptr) {
      QWidget* window = WidgetBehind(control.Form()->View());
      if (window != nullptr) widget->setParent(window);
    }
    widget->show();  // shown with its form; hidden while the form is hidden
  }
  ~ControlWidgetView() override { delete widget_.data(); }

  QWidget* Widget() const override { return widget_.data(); }

  void SetBounds(int left, int top, int width, int height) override {
    if (widget_) widget_->setGeometry(left, top, width, height);
  }

  void SetEnabled(bool enabled) override {
    if (widget_) widget_->setEnabled(enabled);
  }

  TExtent TextExtent() const override {
    if (!widget_) return {};
    const QSize size = widget_->sizeHint();
    return {size.width(), size.height()};
  }

  void SetFocus() override {
    if (widget_) widget_->setFocus(Qt::OtherFocusReason);
  }

 private:
  QPointer<QWidget> widget_;  // Qt clears it should the window die first
};

class LabelView : public ControlWidgetView {
 public:
  explicit LabelView(TLabel& label) : ControlWidgetView(label, new QLabel), label_(label) {
    auto* widget = static_cast<QLabel*>(Widget());
    widget->setTextFormat(Qt::PlainText);
    widget->setFocusPolicy(Qt::NoFocus);
  }

  void CaptionChanged() override {
    if (auto* widget = static_cast<QLabel*>(Widget())) widget->setText(ToQString(label_.Caption()));
  }

 private:
  TLabel& label_;
};

// A click on the widget, by mouse or key, fires the button's OnClick; a
// disabled widget gives none.
class ButtonView : public ControlWidgetView {
 public:
  explicit ButtonView(TButton& button)
      : ControlWidgetView(button, new PushButtonWidget), button_(button) {
    auto* widget = static_cast<QPushButton*>(Widget());
    QObject::connect(widget, &QPushButton::clicked, widget, [this] {
      if (button_.OnClick()) button_.OnClick()(&button_);
    });
  }

  void CaptionChanged() override {
    if (auto* widget = static_cast<QPushButton*>(Widget()))
      widget->setText(ToQString(button_.Caption()));
  }

 private:
  TButton& button_;
};

}  // namespace

std::unique_ptr<ControlView> MakeLabelView(TLabel& label) {
  return std::make_unique<LabelView>(label);
}

std::unique_ptr<ControlView> MakeButtonView(TButton& button) {
  return std::make_unique<ButtonView>(button);
}

}  // namespace app
