// Helpers shared by the component layer's tests: nds.ini files, the current
// directory and the environment. Temporary directories come from
// tests/support.
#ifndef TESTS_NDS_NDS_TEST_SUPPORT_H_
#define TESTS_NDS_NDS_TEST_SUPPORT_H_

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>

#include "dataset/exceptions.h"
#include "tests/support/temp_dir.h"

namespace nds_test {

using test_support::TempDir;

// Makes a directory the current one for the object's lifetime.
class ScopedCurrentDirectory {
 public:
  explicit ScopedCurrentDirectory(const std::string& dir)
      : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(dir);
  }
  ~ScopedCurrentDirectory() {
    std::error_code ignored;
    std::filesystem::current_path(previous_, ignored);
  }
  ScopedCurrentDirectory(const ScopedCurrentDirectory&) = delete;
  ScopedCurrentDirectory& operator=(const ScopedCurrentDirectory&) = delete;

 private:
  std::filesystem::path previous_;
};

// Sets (or, with a null value, removes) an environment variable for the
// object's lifetime.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = ::getenv(name)) {
      had_ = true;
      old_ = old;
    }
    if (value)
      ::setenv(name, value, 1);
    else
      ::unsetenv(name);
  }
  ~ScopedEnv() {
    if (had_)
      ::setenv(name_.c_str(), old_.c_str(), 1);
    else
      ::unsetenv(name_.c_str());
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  bool had_ = false;
  std::string old_;
};

// A temporary directory made the current one, where a test writes its
// nds.ini (the current directory is searched right after the program's).
class IniDir : public TempDir {
 public:
  IniDir() : cwd_(str()) {}
  void WriteIni(const std::string& text) const { Write("nds.ini", text); }

 private:
  ScopedCurrentDirectory cwd_;
};

// The message of the component-layer exception `action` raises, or
// "(nothing raised)".
inline std::string MessageOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const dataset::Exception& error) {
    return error.Message();
  }
  return "(nothing raised)";
}

}  // namespace nds_test

#endif  // TESTS_NDS_NDS_TEST_SUPPORT_H_
