// The repair window's handlers and the repair run.
#include "app/repair_window.h"

#include "app/repair_window_form.h"
#include "app/views.h"
#include "app/window_classes.h"
#include "dataset/streaming.h"
#include "nds/ndscnnct.h"
#include "nds/ndstable.h"

namespace app {

TForm1::TForm1(dataset::TComponent* owner) : TForm(owner) {}

dataset::TMethod TForm1::FindMethod(const std::string& name) {
  if (name == "Button1Click") return [this](dataset::TObject* sender) { Button1Click(sender); };
  if (name == "Button2Click") return [this](dataset::TObject* sender) { Button2Click(sender); };
  return TForm::FindMethod(name);
}

// Binds the form's fields to the components the description created.
void TForm1::Loaded() {
  TForm::Loaded();
  label1_ = dynamic_cast<TLabel*>(FindComponent("Label1"));
  button1_ = dynamic_cast<TButton*>(FindComponent("Button1"));
  button2_ = dynamic_cast<TButton*>(FindComponent("Button2"));
  connection1_ = dynamic_cast<nds::TNdsConnection*>(FindComponent("NdsConnection1"));
  query1_ = dynamic_cast<nds::TNdsQuery*>(FindComponent("NdsQuery1"));
  const char* missing = label1_ == nullptr        ? "Label1"
                        : button1_ == nullptr     ? "Button1"
                        : button2_ == nullptr     ? "Button2"
                        : connection1_ == nullptr ? "NdsConnection1"
                        : query1_ == nullptr      ? "NdsQuery1"
                                                  : nullptr;
  if (missing != nullptr)
    throw dataset::EReadError(std::string("The window description has no component ") + missing +
                              " of the expected class");
}

void TForm1::Notification(dataset::TComponent* component, dataset::TOperation operation) {
  TForm::Notification(component, operation);
  if (operation != dataset::opRemove) return;
  if (component == label1_) label1_ = nullptr;
  if (component == button1_) button1_ = nullptr;
  if (component == button2_) button2_ = nullptr;
  if (component == connection1_) connection1_ = nullptr;
  if (component == query1_) query1_ = nullptr;
}

// Two nested guarded regions: a failure of begin, script or commit is
// answered by a rollback inside the outer region, so a failing rollback ends
// like a failing connect. Every exception is caught and its text dropped;
// the label alone tells the user what happened.
void TForm1::Button1Click(dataset::TObject*) {
  if (connection1_ == nullptr || query1_ == nullptr) return;
  BusyIndicator busy;  // the busy pointer, where there is a screen
  try {
    connection1_->Connect();
    try {
      connection1_->StartTransaction();
      query1_->ExecSQL();
      connection1_->CommitTransaction();
      ShowOutcome(RepairOutcome::kRepaired);
    } catch (...) {
      connection1_->RollbackTransaction();
      ShowOutcome(RepairOutcome::kFailed);
    }
  } catch (...) {
    ShowOutcome(RepairOutcome::kUnableToConnect);
  }
  if (button1_ != nullptr) button1_->SetEnabled(false);
}

void TForm1::Button2Click(dataset::TObject*) {
  Close();
}

void TForm1::ShowOutcome(RepairOutcome outcome) {
  outcome_ = outcome;
  if (label1_ == nullptr) return;
  switch (outcome) {
    case RepairOutcome::kRepaired:
      label1_->SetCaption(kRepairedText);
      break;
    case RepairOutcome::kFailed:
      label1_->SetCaption(kFailedText);
      break;
    case RepairOutcome::kUnableToConnect:
      label1_->SetCaption(kUnableToConnectText);
      break;
    case RepairOutcome::kNotRun:
      label1_->SetCaption(kStartText);
      break;
  }
}

std::unique_ptr<TForm1> CreateRepairWindow() {
  nds::RegisterConnectionClasses();
  nds::RegisterQueryClasses();
  RegisterWindowClasses();
  auto form = std::make_unique<TForm1>(nullptr);
  dataset::ReadRootFromText(kRepairWindowForm, form.get());
  return form;
}

}  // namespace app
