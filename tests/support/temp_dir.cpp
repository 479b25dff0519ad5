#include "tests/support/temp_dir.h"

#include <stdlib.h>

#include <fstream>
#include <stdexcept>

namespace test_support {

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "nds_test_XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr)
    throw std::runtime_error("cannot make a temporary directory from " + pattern);
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(path_, ignored);
}

std::string TempDir::MakeDir(const std::string& name) const {
  fs::create_directories(*this / name);
  return *this / name;
}

std::string TempDir::Write(const std::string& name, const std::string& text) const {
  std::ofstream out(*this / name, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) throw std::runtime_error("cannot write " + (*this / name));
  return *this / name;
}

}  // namespace test_support
