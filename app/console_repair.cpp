#include "app/console_repair.h"

#include <exception>
#include <memory>

#include "app/repair_window.h"

namespace app {

int RunConsoleRepair(std::FILE* out, std::FILE* err) {
  std::unique_ptr<TForm1> form;
  try {
    form = CreateRepairWindow();
  } catch (const std::exception& error) {
    std::fprintf(err, "volantra-archive-repair-console: cannot create the components: %s\n",
                 error.what());
    return 3;
  }
  form->Button1Click(form->Button1());
  std::fprintf(out, "%s\n", form->Label1()->Caption().c_str());
  std::fflush(out);
  return ExitStatusFor(form->Outcome());
}

}  // namespace app
