// How a repair run ended, the status text the window shows for it, and the
// exit status of the console twin.
#ifndef APP_REPAIR_OUTCOME_H
#define APP_REPAIR_OUTCOME_H

namespace app {

enum class RepairOutcome {
  kNotRun,          // "Fix Archive" not pressed yet
  kRepaired,        // script executed and committed
  kFailed,          // begin, script or commit failed; the rollback succeeded
  kUnableToConnect  // the connect or the rollback failed
};

inline constexpr char kStartText[] = "< Click Button";
inline constexpr char kRepairedText[] = "Archive Repaired!";
inline constexpr char kFailedText[] = "Archive Repair Failed!";
inline constexpr char kUnableToConnectText[] = "Unable to connect!";

// Exit status of the console twin for an outcome: 0 repaired, 1 failed and
// rolled back, 2 unable to connect.
int ExitStatusFor(RepairOutcome outcome);

}  // namespace app

#endif  // APP_REPAIR_OUTCOME_H
