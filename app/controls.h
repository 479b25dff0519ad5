// The framework's visual controls, each a component wrapping one Qt widget:
// a static text label and a push button. A control created with a form as
// its owner is placed on that form's client area; its stored properties
// (position, size, caption, tab order, click handler) reach the widget at
// once, so a control read from a stored description looks as described.
#ifndef APP_CONTROLS_H
#define APP_CONTROLS_H

#include <QPointer>
#include <QWidget>
#include <functional>
#include <string>

#include "dataset/component.h"

class QLabel;
class QPushButton;

namespace app {

using dataset::TNotifyEvent;

class TForm;

// Position, size and enabled state shared by every visual control.
// Coordinates are client coordinates of the owning form, in pixels.
class TControl : public dataset::TComponent {
 public:
  ~TControl() override;
  TControl(const TControl&) = delete;
  TControl& operator=(const TControl&) = delete;

  int Left() const;
  void SetLeft(int left);
  int Top() const;
  void SetTop(int top);
  int Width() const;
  void SetWidth(int width);
  int Height() const;
  void SetHeight(int height);
  void SetBounds(int left, int top, int width, int height);

  // A disabled control ignores clicks and cannot take the focus.
  bool Enabled() const;
  void SetEnabled(bool enabled);

  // The form this control sits on, or null when its owner is no form.
  TForm* Form() const { return form_; }

  // The wrapped widget; null once the form's window has been destroyed.
  QWidget* Widget() const { return widget_.data(); }

 protected:
  // `widget` is a new widget without parent; the control takes it over and
  // places it on the owner's client area when the owner is a form.
  TControl(dataset::TComponent* owner, QWidget* widget);

  // Called after the size-relevant state changed (text, font, bounds).
  virtual void AdjustBounds() {}

 private:
  TForm* form_ = nullptr;     // Owner when it is a form, else null
  QPointer<QWidget> widget_;  // Wrapped widget; Qt clears it when the window dies
};

// A static text label. With AutoSize (the default) it sizes itself to its
// text and keeps its left edge where it was placed.
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
  QLabel* Label() const;

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
  QPushButton* Button() const;

  std::string caption_;        // Text on the button, as stored
  int tab_order_ = -1;         // Place in the form's Tab order
  TNotifyEvent on_click_;      // Fires only when assigned
  std::string on_click_name_;  // Name of the form's method, when read
};

}  // namespace app

#endif  // APP_CONTROLS_H
