// The console twin's work: the repair window's components, description and
// repair run, without showing the window.
#ifndef APP_CONSOLE_REPAIR_H
#define APP_CONSOLE_REPAIR_H

#include <cstdio>

namespace app {

// Creates the repair window's components from the stored description, runs
// the repair run as "Fix Archive" does, writes the status text the label
// shows, one line, to `out`, and returns the exit status: 0 repaired, 1
// repair failed and rolled back, 2 unable to connect (also when the rollback
// failed), 3 when the description itself cannot be read (reported on
// `err`). Needs no screen: with no view provider installed, the components
// exist without any window.
int RunConsoleRepair(std::FILE* out, std::FILE* err);

}  // namespace app

#endif  // APP_CONSOLE_REPAIR_H
