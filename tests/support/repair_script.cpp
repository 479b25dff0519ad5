#include "tests/support/repair_script.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "dataset/description_text.h"

namespace test_support {

namespace {

// Set by the build: the window's stored description in the source tree.
constexpr const char* kFormFile = NDS_REPAIR_WINDOW_FORM_FILE;
constexpr const char* kQueryName = "NdsQuery1";

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

const dataset::TDescObject* FindObject(const dataset::TDescObject& object,
                                       const std::string& name) {
  if (object.name == name) return &object;
  for (const dataset::TDescObject& child : object.children)
    if (const dataset::TDescObject* found = FindObject(child, name)) return found;
  return nullptr;
}

std::vector<std::string> ReadScript() {
  const dataset::TDescObject form = dataset::ParseDescription(ReadFile(kFormFile));
  const dataset::TDescObject* query = FindObject(form, kQueryName);
  if (query == nullptr)
    throw std::runtime_error(std::string("no ") + kQueryName + " in " + kFormFile);
  for (const dataset::TDescProperty& property : query->properties) {
    if (property.name != "SQL.Strings") continue;
    std::vector<std::string> lines;
    for (const dataset::TDescValue& line : property.value.elements) {
      if (line.kind != dataset::dvString)
        throw std::runtime_error("SQL.Strings of " + std::string(kFormFile) + " holds a non-text");
      lines.push_back(line.text);
    }
    return lines;
  }
  throw std::runtime_error(std::string(kQueryName) + " in " + kFormFile + " has no SQL.Strings");
}

}  // namespace

const std::vector<std::string>& RepairScriptLines() {
  static const std::vector<std::string> lines = ReadScript();
  return lines;
}

std::string RepairScriptText() {
  std::string text;
  for (const std::string& line : RepairScriptLines()) text += line + "\r\n";
  return text;
}

}  // namespace test_support
