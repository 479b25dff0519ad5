// Label and push button components over QLabel and QPushButton.
#include "app/controls.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <algorithm>

#include "app/form.h"
#include "dataset/exceptions.h"

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

}  // namespace

// --- TControl ---------------------------------------------------------------

TControl::TControl(dataset::TComponent* owner, QWidget* widget)
    : dataset::TComponent(owner), form_(dynamic_cast<TForm*>(owner)), widget_(widget) {
  if (form_ != nullptr) widget->setParent(form_->Widget());
  widget->show();  // shown with its form; hidden while the form is hidden
}

TControl::~TControl() {
  delete widget_.data();
}

int TControl::Left() const {
  return widget_ ? widget_->x() : 0;
}
int TControl::Top() const {
  return widget_ ? widget_->y() : 0;
}
int TControl::Width() const {
  return widget_ ? widget_->width() : 0;
}
int TControl::Height() const {
  return widget_ ? widget_->height() : 0;
}

void TControl::SetLeft(int left) {
  SetBounds(left, Top(), Width(), Height());
}
void TControl::SetTop(int top) {
  SetBounds(Left(), top, Width(), Height());
}
void TControl::SetWidth(int width) {
  SetBounds(Left(), Top(), width, Height());
}
void TControl::SetHeight(int height) {
  SetBounds(Left(), Top(), Width(), height);
}

void TControl::SetBounds(int left, int top, int width, int height) {
  if (!widget_) return;
  widget_->setGeometry(left, top, std::max(width, 0), std::max(height, 0));
  AdjustBounds();
}

bool TControl::Enabled() const {
  return widget_ && widget_->isEnabled();
}

void TControl::SetEnabled(bool enabled) {
  if (widget_) widget_->setEnabled(enabled);
}

// --- TLabel -----------------------------------------------------------------

TLabel::TLabel(dataset::TComponent* owner) : TControl(owner, new QLabel) {
  Label()->setTextFormat(Qt::PlainText);
  Label()->setFocusPolicy(Qt::NoFocus);
}

QLabel* TLabel::Label() const {
  return static_cast<QLabel*>(Widget());
}

void TLabel::SetCaption(const std::string& caption) {
  caption_ = caption;
  if (Label() == nullptr) return;
  Label()->setText(ToQString(caption));
  AdjustBounds();
}

void TLabel::SetAutoSize(bool auto_size) {
  auto_size_ = auto_size;
  AdjustBounds();
}

// Sizes the label to its text; the left and top edges stay put.
void TLabel::AdjustBounds() {
  QLabel* label = Label();
  if (!auto_size_ || label == nullptr) return;
  const QSize size = label->sizeHint();
  if (size != label->size()) label->resize(size);
}

// --- TButton ----------------------------------------------------------------

TButton::TButton(dataset::TComponent* owner) : TControl(owner, new PushButtonWidget) {
  QObject::connect(Button(), &QPushButton::clicked, Button(), [this] {
    if (on_click_) on_click_(this);
  });
}

QPushButton* TButton::Button() const {
  return static_cast<QPushButton*>(Widget());
}

void TButton::SetCaption(const std::string& caption) {
  caption_ = caption;
  if (Button() != nullptr) Button()->setText(ToQString(caption));
}

void TButton::SetTabOrder(int tab_order) {
  tab_order_ = tab_order;
  if (Form() != nullptr) Form()->UpdateTabOrder();
}

void TButton::SetOnClick(TNotifyEvent handler) {
  on_click_ = std::move(handler);
  on_click_name_.clear();
}

void TButton::SetOnClickHandler(const std::string& name, TNotifyEvent handler) {
  if (!name.empty() && !handler) throw dataset::EReadError("The form has no method " + name);
  on_click_ = std::move(handler);
  on_click_name_ = name;
}

void TButton::Click() {
  if (Button() != nullptr && Button()->isEnabled()) Button()->click();
}

}  // namespace app
