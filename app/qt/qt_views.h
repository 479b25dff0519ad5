// The desktop side of the repair window: Qt widgets as the views of the
// form and its controls, and the busy pointer. The window program installs
// them once its QApplication exists; components created afterwards appear
// on the desktop.
#ifndef APP_QT_QT_VIEWS_H
#define APP_QT_QT_VIEWS_H

class QWidget;

namespace app {

class TForm;
class TControl;

// Makes Qt widgets the views of every form and control created from now
// on. Components created while no QApplication exists get no view.
void UseQtViews();

// The window of a form, or the widget of a control; null when it has no
// Qt view or its widget is gone.
QWidget* WidgetOf(const TForm& form);
QWidget* WidgetOf(const TControl& control);

}  // namespace app

#endif  // APP_QT_QT_VIEWS_H
