// Label and push button components: their state, and what reaches their
// views.
#include "app/controls.h"

#include <algorithm>

#include "app/form.h"
#include "dataset/exceptions.h"

namespace app {

// --- TControl ---------------------------------------------------------------

TControl::TControl(dataset::TComponent* owner)
    : dataset::TComponent(owner), form_(dynamic_cast<TForm*>(owner)) {}

TControl::~TControl() = default;

void TControl::AttachView(std::unique_ptr<ControlView> view) {
  view_ = std::move(view);
  if (view_ == nullptr) return;
  view_->SetBounds(left_, top_, width_, height_);
  view_->SetEnabled(enabled_);
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
  left_ = left;
  top_ = top;
  width_ = std::max(width, 0);
  height_ = std::max(height, 0);
  if (view_ != nullptr) view_->SetBounds(left_, top_, width_, height_);
  AdjustBounds();
}

void TControl::SetEnabled(bool enabled) {
  enabled_ = enabled;
  if (view_ != nullptr) view_->SetEnabled(enabled);
}

// --- TLabel -----------------------------------------------------------------

TLabel::TLabel(dataset::TComponent* owner) : TControl(owner) {
  ViewProvider* provider = CurrentViewProvider();
  if (provider != nullptr) AttachView(provider->CreateLabelView(*this));
}

void TLabel::SetCaption(const std::string& caption) {
  caption_ = caption;
  if (View() == nullptr) return;
  View()->CaptionChanged();
  AdjustBounds();
}

void TLabel::SetAutoSize(bool auto_size) {
  auto_size_ = auto_size;
  AdjustBounds();
}

// Sizes the label to its text; the left and top edges stay put.
void TLabel::AdjustBounds() {
  if (!auto_size_ || View() == nullptr) return;
  const TExtent extent = View()->TextExtent();
  if (extent.width != Width() || extent.height != Height())
    SetBounds(Left(), Top(), extent.width, extent.height);
}

// --- TButton ----------------------------------------------------------------

TButton::TButton(dataset::TComponent* owner) : TControl(owner) {
  ViewProvider* provider = CurrentViewProvider();
  if (provider != nullptr) AttachView(provider->CreateButtonView(*this));
}

void TButton::SetCaption(const std::string& caption) {
  caption_ = caption;
  if (View() != nullptr) View()->CaptionChanged();
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
  if (Enabled() && on_click_) on_click_(this);
}

}  // namespace app
