// Helpers shared by the component layer's tests: temporary directories,
// nds.ini files and the current directory.
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

namespace nds_test {

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "nds_test_XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  // Creates the subdirectory `name` and returns its full path.
  std::string MakeDir(const std::string& name) const {
    std::filesystem::create_directories(*this / name);
    return *this / name;
  }
  // Writes `text` to the file `name` and returns its full path.
  std::string Write(const std::string& name, const std::string& text) const {
    std::ofstream out(*this / name, std::ios::binary | std::ios::trunc);
    out << text;
    return *this / name;
  }

 private:
  std::string path_;
};

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
  IniDir() : cwd_(Path()) {}
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
