// A fresh directory under the system's temporary directory for one test,
// removed with everything in it when the object goes.
#ifndef TESTS_SUPPORT_TEMP_DIR_H
#define TESTS_SUPPORT_TEMP_DIR_H

#include <filesystem>
#include <string>

namespace test_support {

class TempDir {
 public:
  // Raises std::runtime_error when no directory can be made.
  TempDir();
  // Gives the owner back every right first, so that a test that made the
  // directory read-only leaves nothing behind.
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string str() const { return path_.string(); }
  // The full path of `name` inside the directory.
  std::string operator/(const std::string& name) const { return str() + "/" + name; }

  // Creates the subdirectory `name` and returns its full path.
  std::string MakeDir(const std::string& name) const;
  // Writes `text` to the file `name` and returns its full path; raises
  // std::runtime_error when it cannot.
  std::string Write(const std::string& name, const std::string& text) const;

 private:
  std::filesystem::path path_;  // Absolute; exists while the object lives
};

}  // namespace test_support

#endif  // TESTS_SUPPORT_TEMP_DIR_H
