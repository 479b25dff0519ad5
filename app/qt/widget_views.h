// The Qt views of the form and its controls, made by the Qt view provider.
#ifndef APP_QT_WIDGET_VIEWS_H
#define APP_QT_WIDGET_VIEWS_H

#include <memory>

#include "app/views.h"

class QWidget;

namespace app {

// A view that is a Qt widget, so that widgets can find one another (a
// control its form's window, the focus chain its buttons).
class WidgetView {
 public:
  virtual ~WidgetView() = default;
  // Null once the widget has been destroyed.
  virtual QWidget* Widget() const = 0;
};

// The widget behind a view; null when it is no Qt view or has no widget.
inline QWidget* WidgetBehind(const FormView* view) {
  const auto* widget_view = dynamic_cast<const WidgetView*>(view);
  return widget_view != nullptr ? widget_view->Widget() : nullptr;
}
inline QWidget* WidgetBehind(const ControlView* view) {
  const auto* widget_view = dynamic_cast<const WidgetView*>(view);
  return widget_view != nullptr ? widget_view->Widget() : nullptr;
}

std::unique_ptr<FormView> MakeFormWindowView(TForm& form);
std::unique_ptr<ControlView> MakeLabelView(TLabel& label);
std::unique_ptr<ControlView> MakeButtonView(TButton& button);

}  // namespace app

#endif  // APP_QT_WIDGET_VIEWS_H
