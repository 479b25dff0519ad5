// What the window's components show on a screen, when there is one. A form
// and its controls keep their state themselves; a view, when attached,
// mirrors that state on the desktop (a window, a widget per control, the
// busy pointer). The window program installs a view provider; the console
// twin installs none, and its components then exist without any window.
#ifndef APP_VIEWS_H
#define APP_VIEWS_H

#include <memory>
#include <vector>

namespace app {

class TForm;
class TLabel;
class TButton;

// A width and a height in pixels.
struct TExtent {
  int width = 0;
  int height = 0;
};

// The on-screen side of a label or button. The view reads the control's
// caption and state when told that they changed.
class ControlView {
 public:
  virtual ~ControlView() = default;

  virtual void SetBounds(int left, int top, int width, int height) = 0;
  virtual void SetEnabled(bool enabled) = 0;
  virtual void CaptionChanged() = 0;
  // The size the caption needs in the control's current font.
  virtual TExtent TextExtent() const = 0;
  virtual void SetFocus() = 0;
};

// The on-screen side of a form: its top-level window.
class FormView {
 public:
  virtual ~FormView() = default;

  virtual void CaptionChanged() = 0;
  virtual void BorderChanged() = 0;
  virtual void ColorChanged() = 0;
  virtual void FontChanged() = 0;
  // Size of the client area as the window has it now; a sizeable window
  // may have been resized by the user.
  virtual TExtent ClientSize() const = 0;
  virtual void SetClientSize(int width, int height) = 0;
  // Moves the focus from each control to the next in `chain`.
  virtual void OrderFocus(const std::vector<ControlView*>& chain) = 0;
  // Places the window as the form's Position says and shows it.
  virtual void Show() = 0;
  virtual void Close() = 0;
};

// Makes the views of new components, and shows the busy pointer.
class ViewProvider {
 public:
  virtual ~ViewProvider() = default;

  // Each may answer null: the component then has no view.
  virtual std::unique_ptr<FormView> CreateFormView(TForm& form) = 0;
  virtual std::unique_ptr<ControlView> CreateLabelView(TLabel& label) = 0;
  virtual std::unique_ptr<ControlView> CreateButtonView(TButton& button) = 0;

  // Shows (true) or takes back (false) the busy pointer; calls nest.
  virtual void SetBusy(bool busy) = 0;
};

// The provider asked by components created from now on; null (the
// default) creates components without views. The provider must outlive
// every component created while it was installed.
void SetViewProvider(ViewProvider* provider);
ViewProvider* CurrentViewProvider();

// Shows the busy pointer of the current provider, if any, while it lives.
class BusyIndicator {
 public:
  BusyIndicator();
  ~BusyIndicator();
  BusyIndicator(const BusyIndicator&) = delete;
  BusyIndicator& operator=(const BusyIndicator&) = delete;

 private:
  ViewProvider* provider_;  // Provider that showed the pointer, or null
};

}  // namespace app

#endif  // APP_VIEWS_H
