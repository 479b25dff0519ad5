// The form component: its state, the font, the focus order of its buttons,
// and what reaches its window.
#include "app/form.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace app {

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

TForm::TForm(dataset::TComponent* owner) : dataset::TComponent(owner), font_(this) {
  ViewProvider* provider = CurrentViewProvider();
  if (provider != nullptr) view_ = provider->CreateFormView(*this);
  // The window starts with whatever size its platform gives a new one.
  if (view_ != nullptr) {
    const TExtent size = view_->ClientSize();
    client_width_ = size.width;
    client_height_ = size.height;
  }
}

// The controls go first, each taking its view along, then the window.
TForm::~TForm() {
  DestroyComponents();
}

void TForm::SetCaption(const std::string& caption) {
  caption_ = caption;
  if (view_ != nullptr) view_->CaptionChanged();
}

void TForm::SetBorderStyle(TFormBorderStyle style) {
  border_style_ = style;
  if (view_ != nullptr) view_->BorderChanged();
}

int TForm::ClientWidth() const {
  return view_ != nullptr ? view_->ClientSize().width : client_width_;
}
int TForm::ClientHeight() const {
  return view_ != nullptr ? view_->ClientSize().height : client_height_;
}

void TForm::SetClientWidth(int width) {
  Resize(std::max(width, 0), ClientHeight());
}

void TForm::SetClientHeight(int height) {
  Resize(ClientWidth(), std::max(height, 0));
}

void TForm::Resize(int width, int height) {
  client_width_ = width;
  client_height_ = height;
  if (view_ != nullptr) view_->SetClientSize(width, height);
}

void TForm::SetColor(TColor color) {
  color_ = color;
  if (view_ != nullptr) view_->ColorChanged();
}

void TForm::SetPixelsPerInch(int ppi) {
  pixels_per_inch_ = ppi;
  FontChanged();
}

// The form's font reaches every control that keeps the default, as the
// controls on the form do; labels then resize to their text.
void TForm::FontChanged() {
  if (view_ == nullptr) return;
  view_->FontChanged();
  for (int i = 0; i < ComponentCount(); ++i) {
    if (auto* label = dynamic_cast<TLabel*>(Components(i))) label->FontChanged();
  }
}

void TForm::UpdateTabOrder() {
  if (view_ == nullptr) return;
  std::vector<TButton*> buttons;
  for (int i = 0; i < ComponentCount(); ++i) {
    auto* button = dynamic_cast<TButton*>(Components(i));
    if (button != nullptr && button->TabOrder() >= 0 && button->View() != nullptr)
      buttons.push_back(button);
  }
  std::stable_sort(buttons.begin(), buttons.end(), [](const TButton* a, const TButton* b) {
    return a->TabOrder() < b->TabOrder();
  });
  std::vector<ControlView*> chain;
  for (TButton* button : buttons) chain.push_back(button->View());
  view_->OrderFocus(chain);
}

void TForm::Loaded() {
  dataset::TComponent::Loaded();
  UpdateTabOrder();
}

void TForm::Show() {
  if (view_ == nullptr) return;
  view_->Show();
  FocusFirstControl();
}

void TForm::Close() {
  if (view_ != nullptr) view_->Close();
}

void TForm::FocusFirstControl() {
  TButton* first = nullptr;
  for (int i = 0; i < ComponentCount(); ++i) {
    auto* button = dynamic_cast<TButton*>(Components(i));
    if (button == nullptr || button->TabOrder() < 0 || !button->Enabled()) continue;
    if (first == nullptr || button->TabOrder() < first->TabOrder()) first = button;
  }
  if (first != nullptr && first->View() != nullptr) first->View()->SetFocus();
}

}  // namespace app
