// Registration of the window's classes (TForm, TForm1, TFont, TLabel,
// TButton) with their published properties in the framework's class
// registry, so that the reader can build the repair window from its stored
// description.
#ifndef APP_WINDOW_CLASSES_H
#define APP_WINDOW_CLASSES_H

namespace app {

// Registers the classes once; later calls do nothing.
void RegisterWindowClasses();

}  // namespace app

#endif  // APP_WINDOW_CLASSES_H
