// volantra-archive-repair-console: the repair run without a window, for a
// terminal or a scheduled job. Prints the status text the window would show
// and exits 0 (repaired), 1 (repair failed, rolled back) or 2 (unable to
// connect). It needs no desktop: no view provider is installed, so the
// window's components exist without any window.
#include <cstdio>

#include "app/console_repair.h"

int main(int argc, char**) {
  if (argc > 1) {
    std::fprintf(stderr,
                 "usage: volantra-archive-repair-console\n"
                 "Repairs the archive of the database that alias VOLANTRAX names in nds.ini.\n");
    return 64;
  }
  return app::RunConsoleRepair(stdout, stderr);
}
