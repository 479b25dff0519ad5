// Fuzzes a query read from a stored description: its SQL text (handed to the
// engine's marker lister and the parameter parser once loaded text changes),
// its stored parameter list, "Data", "WaitCursor", its published properties
// and its typed events (resolved on a root that offers a handler of each
// type). Arbitrary text must either read or be refused with one of the
// framework's exceptions, and a query that reads must write out as a
// description that reads back the same.
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "dataset/exceptions.h"
#include "dataset/streaming.h"
#include "nds/ndstable.h"

namespace {

// A root that offers one handler of every event type a query publishes, so
// that event references resolve, are type-checked and are written back.
class TFuzzForm : public dataset::TComponent {
 public:
  explicit TFuzzForm(dataset::TComponent* owner) : TComponent(owner) {}
  ~TFuzzForm() override { DestroyComponents(); }
  dataset::TMethod FindMethod(const std::string& name) override {
    if (name == "Notify") return dataset::TDataSetNotifyEvent([](dataset::TDataSet&) {});
    if (name == "Error")
      return dataset::TDataSetErrorEvent(
          [](dataset::TDataSet&, dataset::EDatabaseError&, dataset::TDataAction&) {});
    if (name == "Filter") return dataset::TFilterRecordEvent([](dataset::TDataSet&, bool&) {});
    if (name == "Update")
      return dataset::TUpdateRecordEvent(
          [](dataset::TDataSet&, dataset::TUpdateKind, dataset::TUpdateAction&) {});
    if (name == "Click") return [](dataset::TObject*) {};
    return {};
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  nds::RegisterQueryClasses();
  static bool registered =
      (dataset::RegisterClass<TFuzzForm, dataset::TComponent>("TFuzzForm"), true);
  (void)registered;
  const std::string text(reinterpret_cast<const char*>(data), size);
  // Opening a query runs its SQL against a database; descriptions that
  // could open one or name a database are not this target's subject.
  std::string lower = text;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower.find("active") != std::string::npos ||
      lower.find("databasename") != std::string::npos || lower.find("nds.ini") != std::string::npos)
    return 0;
  std::unique_ptr<dataset::TComponent> root;
  try {
    root.reset(dataset::ReadComponentFromText(text, nullptr));
  } catch (const dataset::Exception&) {
    return 0;
  }
  const std::string written = dataset::WriteComponentToText(root.get());
  std::unique_ptr<dataset::TComponent> again(dataset::ReadComponentFromText(written, nullptr));
  if (dataset::WriteComponentToText(again.get()) != written) std::abort();

  // A text change after loading parses the parameters of every query.
  for (int i = 0; i < root->ComponentCount(); ++i) {
    if (auto* query = dynamic_cast<nds::TNdsQuery*>(root->Components(i))) {
      try {
        query->SQL()->Add("");
      } catch (const dataset::Exception&) {
      }
    }
  }
  return 0;
}
