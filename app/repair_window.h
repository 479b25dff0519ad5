// The repair window: the form with a status label, "Fix Archive" and "Exit",
// the connection NdsConnection1 and the query NdsQuery1 holding the archive
// repair script. All of it is read from the stored description; the form
// adds the two click handlers.
#ifndef APP_REPAIR_WINDOW_H
#define APP_REPAIR_WINDOW_H

#include <memory>
#include <string>

#include "app/controls.h"
#include "app/form.h"
#include "app/repair_outcome.h"

namespace nds {
class TNdsConnection;
class TNdsQuery;
}  // namespace nds

namespace app {

class TForm1 : public TForm {
 public:
  explicit TForm1(dataset::TComponent* owner);

  // The components of the description, found by name once it is read.
  TLabel* Label1() const { return label1_; }
  TButton* Button1() const { return button1_; }
  TButton* Button2() const { return button2_; }
  nds::TNdsConnection* NdsConnection1() const { return connection1_; }
  nds::TNdsQuery* NdsQuery1() const { return query1_; }

  // The repair run: connect, begin, execute the script, commit; on failure
  // roll back. Shows the outcome in Label1 and disables Button1. Raises
  // nothing and never shows a message box.
  void Button1Click(dataset::TObject* sender);
  // Closes the window, which ends the program.
  void Button2Click(dataset::TObject* sender);

  // How the last repair run ended.
  RepairOutcome Outcome() const { return outcome_; }

  // Button1Click and Button2Click, as the description names them.
  TMethod FindMethod(const std::string& name) override;

 protected:
  void Loaded() override;
  void Notification(dataset::TComponent* component, dataset::TOperation operation) override;

 private:
  void ShowOutcome(RepairOutcome outcome);

  TLabel* label1_ = nullptr;                    // Status label
  TButton* button1_ = nullptr;                  // "Fix Archive"
  TButton* button2_ = nullptr;                  // "Exit"
  nds::TNdsConnection* connection1_ = nullptr;  // Connection named by alias VOLANTRAX
  nds::TNdsQuery* query1_ = nullptr;            // Holds the archive repair script
  RepairOutcome outcome_ = RepairOutcome::kNotRun;
};

// Creates the repair window from the description embedded in the program;
// the caller owns it. Raises the reader's error when the description cannot
// be read.
std::unique_ptr<TForm1> CreateRepairWindow();

}  // namespace app

#endif  // APP_REPAIR_WINDOW_H
