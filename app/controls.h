// The framework's visual controls: a static text label and a push button.
// A control keeps its stored properties (position, size, caption, enabled
// state, tab order, click handler) itself. When a view provider is
// installed, the control also gets a view, placed on its form's window,
// which shows every change at once, so a control read from a stored
// description looks as described; without one it works the same, unseen.
#ifndef APP_CONTROLS_H
#define APP_CONTROLS_H

#include <functional>
#include <memory>
#include <string>

#include "app/views.h"
#include "dataset/component.h"

namespace app {

using dataset::TMethod;
using dataset::TNotifyEvent;

class TForm;

// Position, size and enabled state shared by every visual control.
// Coordinates are client coordinates of the owning form, in pixels.
class TControl : public dataset::TComponent {
 public:
  ~TControl() override;
  TControl(const TControl&) = delete;
  TControl& operator=(const TControl&) = delete;

  int Left() const { return left_; }
  void SetLeft(int left);
  int Top() const { return top_; }
  void SetTop(int top);
  int Width() const { return width_; }
  void SetWidth(int width);
  int Height() const { return height_; }
  void SetHeight(int height);
  void SetBounds(int left, int top, int width, int height);

  // A disabled control ignores clicks and cannot take the focus.
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);

  // The form this control sits on, or null when its owner is no form.
  TForm* Form() const { return form_; }

  // What shows the control on screen; null when nothing does.
  ControlView* View() const { return view_.get(); }

 protected:
  explicit TControl(dataset::TComponent* owner);

  // Takes over the control's view (null: none) and shows the present state
  // in it. Called once by the concrete control's constructor.
  void AttachView(std::unique_ptr<ControlView> view);

  // Called after the size-relevant state changed (text, font, bounds).
  virtual void AdjustBounds() {}

 private:
  TForm* form_ = nullptr;              // Owner when it is a form, else null
  std::unique_ptr<ControlView> view_;  // On-screen side, if any
  int left_ = 0;                       // Bounds in the form's client area
  int top_ = 0;
  int width_ = 0;
  int height_ = 0;
  bool enabled_ = true;
};

// A static text label. With AutoSize (the default) it sizes itself to its
// text as its view measures it and keeps its left edge where it was placed;
// without a view there is no font to measure with, and it keeps its size.
class TLabel : public TControl {
 public:
  explicit TLabel(dataset::TComponent* owner);

  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption);
  bool AutoSize() const { return auto_size_; }
  void SetAutoSize(bool auto_size);

  // Called by the form when its font changes, so the size follows the text.
  void FontChanged() { AdjustBounds(); }

 protected:
  void AdjustBounds() override;

 private:
  std::string caption_;    // Text shown, as stored
  bool auto_size_ = true;  // Size follows the text
};

// A push button: a click by mouse, or Space, Enter or Return while it has
// the focus, fires OnClick. It is never a window's default or cancel button.
class TButton : public TControl {
 public:
  explicit TButton(dataset::TComponent* owner);

  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption);

  // Position in the form's Tab order, from 0; -1 until set.
  int TabOrder() const { return tab_order_; }
  void SetTabOrder(int tab_order);

  // The click handler. A handler assigned in code has no name; one read
  // from a stored description is a method of the form, found by its name.
  const TNotifyEvent& OnClick() const { return on_click_; }
  void SetOnClick(TNotifyEvent handler);
  const std::string& OnClickName() const { return on_click_name_; }
  // Raises EReadError when `name` is not empty and `handler` is: the form
  // has no method of that name.
  void SetOnClickHandler(const std::string& name, TNotifyEvent handler);

  // Fires OnClick as a user's click does, unless the button is disabled.
  void Click();

 private:
  std::string caption_;        // Text on the button, as stored
  int tab_order_ = -1;         // Place in the form's Tab order
  TNotifyEvent on_click_;      // Fires only when assigned
  std::string on_click_name_;  // Name of the form's method, when read
};

}  // namespace app

#endif  // APP_CONTROLS_H
