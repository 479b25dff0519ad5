// Fuzzes a query read from a stored description: its SQL text (handed to the
// engine's marker lister and the parameter parser once loaded text changes),
// its stored parameter list, "Data" and "WaitCursor". Arbitrary text must
// either read or be refused with one of the framework's exceptions, and a
// query that reads must write out as a description that reads back the same.
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "dataset/exceptions.h"
#include "dataset/streaming.h"
#include "nds/ndstable.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  nds::RegisterQueryClasses();
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
