// The files of an xBase table as the reader and writer handle them: a
// memo file found beside its table in whatever letter case the directory
// has, a file read at chosen places, and a file written under a temporary
// name beside its target that takes the target's name only when complete.
#ifndef ENGINE_INTERCHANGE_DBF_DBF_FILES_H
#define ENGINE_INTERCHANGE_DBF_DBF_FILES_H

#include <cstdint>
#include <string>

namespace nce {

// The file beside `dbf_path` with its base name and the extension
// `extension` ("fpt"): the same letter case as the table's extension
// first, then any case the directory holds. Empty when there is none.
std::string FindBesideFile(const std::string& dbf_path, const std::string& extension);

// `dbf_path` with its extension replaced by `extension`, in the letter
// case of the table's own extension ("FOO.DBF" gives "FOO.FPT").
std::string BesideName(const std::string& dbf_path, const std::string& extension);

// A file opened for reading. Throws EngineError NDS_E_INVALID_PATH naming
// the file when it cannot be opened or is not a regular file.
class InputFile {
 public:
  explicit InputFile(const std::string& path);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  const std::string& path() const { return path_; }
  uint64_t size() const { return size_; }
  // Reads up to `length` bytes at `offset` into `buffer`; returns how many
  // (fewer only at the end of the file). Throws NDS_E_BAD_FILE when the
  // system refuses the read.
  size_t ReadAt(uint64_t offset, char* buffer, size_t length);

 private:
  std::string path_;
  int fd_ = -1;
  uint64_t size_ = 0;  // at opening
};

// A file written beside `target` under a temporary name, through a buffer.
// Commit gives it the target's name; an uncommitted file is removed when
// the object goes. Every failure throws EngineError NDS_E_INVALID_PATH
// naming the target.
class OutputFile {
 public:
  explicit OutputFile(const std::string& target);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  const std::string& target() const { return target_; }
  // Bytes written so far (the end of the file).
  uint64_t size() const { return size_; }
  void Append(const char* data, size_t length);
  void Append(const std::string& data) { Append(data.data(), data.size()); }
  // Overwrites bytes already written (a header whose counts come last).
  void WriteAt(uint64_t offset, const std::string& data);
  // Writes out the buffer, syncs and closes; then Commit renames.
  void Close();
  void Commit();

 private:
  void Flush();
  [[noreturn]] void Fail(const char* doing);

  std::string target_;
  std::string temp_path_;  // removed by the destructor unless committed
  int fd_ = -1;
  std::string buffer_;  // bytes not yet written
  uint64_t size_ = 0;
  bool committed_ = false;
};

}  // namespace nce

#endif  // ENGINE_INTERCHANGE_DBF_DBF_FILES_H
