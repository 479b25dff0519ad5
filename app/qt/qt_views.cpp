// The Qt view provider and the way from a component to its widget.
#include "app/qt/qt_views.h"

#include <QApplication>
#include <vector>

#include "app/controls.h"
#include "app/form.h"
#include "app/qt/widget_views.h"

namespace app {

namespace {

// Widgets need a QApplication; without one, components get no views.
bool HaveApplication() {
  return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

class QtViewProvider : public ViewProvider {
 public:
  std::unique_ptr<FormView> CreateFormView(TForm& form) override {
    return HaveApplication() ? MakeFormWindowView(form) : nullptr;
  }
  std::unique_ptr<ControlView> CreateLabelView(TLabel& label) override {
    return HaveApplication() ? MakeLabelView(label) : nullptr;
  }
  std::unique_ptr<ControlView> CreateButtonView(TButton& button) override {
    return HaveApplication() ? MakeButtonView(button) : nullptr;
  }

  // Each busy call that set the pointer restores it once.
  void SetBusy(bool busy) override {
    if (busy) {
      const bool shown = HaveApplication();
      if (shown) QApplication::setOverrideCursor(Qt::WaitCursor);
      shown_.push_back(shown);
      return;
    }
    if (shown_.empty()) return;
    const bool shown = shown_.back();
    shown_.pop_back();
    if (shown && HaveApplication()) QApplication::restoreOverrideCursor();
  }

 private:
  std::vector<bool> shown_;  // Per open busy call: did it set the pointer
};

}  // namespace

void UseQtViews() {
  static QtViewProvider provider;
  SetViewProvider(&provider);
}

QWidget* WidgetOf(const TForm& form) {
  return WidgetBehind(form.View());
}

QWidget* WidgetOf(const TControl& control) {
  return WidgetBehind(control.View());
}

}  // namespace app
