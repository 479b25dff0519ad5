#include "app/repair_outcome.h"

namespace app {

int ExitStatusFor(RepairOutcome outcome) {
  switch (outcome) {
    case RepairOutcome::kRepaired:
      return 0;
    case RepairOutcome::kFailed:
      return 1;
    case RepairOutcome::kUnableToConnect:
    case RepairOutcome::kNotRun:
      return 2;
  }
  return 2;
}

}  // namespace app
