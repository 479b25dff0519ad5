#include "engine/interchange/dbf/dbf_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>

#include "engine/base/errors.h"

namespace nce {
namespace {

constexpr size_t kWriteBuffer = 64 * 1024;

bool Exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The table's path split into directory (with its slash), base name, and
// extension (without the point; empty when the name has none).
void SplitPath(const std::string& path, std::string* dir, std::string* base, std::string* ext) {
  size_t slash = path.rfind('/');
  size_t name_at = slash == std::string::npos ? 0 : slash + 1;
  *dir = path.substr(0, name_at);
  std::string name = path.substr(name_at);
  size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) {
    *base = name;
    ext->clear();
  } else {
    *base = name.substr(0, dot);
    *ext = name.substr(dot + 1);
  }
}

bool HasLower(const std::string& s) {
  for (char c : s)
    if (std::islower(static_cast<unsigned char>(c))) return true;
  return false;
}

std::string InCase(const std::string& extension, bool lower) {
  std::string out = extension;
  for (char& c : out)
    c = static_cast<char>(lower ? std::tolower(static_cast<unsigned char>(c))
                                : std::toupper(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

std::string BesideName(const std::string& dbf_path, const std::string& extension) {
  std::string dir, base, ext;
  SplitPath(dbf_path, &dir, &base, &ext);
  bool lower = ext.empty() || HasLower(ext);
  return dir + base + "." + InCase(extension, lower);
}

std::string FindBesideFile(const std::string& dbf_path, const std::string& extension) {
  std::string same_case = BesideName(dbf_path, extension);
  if (Exists(same_case)) return same_case;
  std::string dir, base, ext;
  SplitPath(dbf_path, &dir, &base, &ext);
  std::string wanted = base + "." + extension;
  DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return "";
  std::string found;
  while (dirent* entry = ::readdir(d)) {
    if (::strcasecmp(entry->d_name, wanted.c_str()) != 0) continue;
    std::string candidate = dir + entry->d_name;
    if (!Exists(candidate)) continue;
    // The base name as the table spells it wins over another spelling.
    if (found.empty() || std::strncmp(entry->d_name, base.c_str(), base.size()) == 0)
      found = candidate;
  }
  ::closedir(d);
  return found;
}

InputFile::InputFile(const std::string& path) : path_(path) {
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st;
  if (fd_ < 0 || ::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
    std::string why = fd_ < 0 ? std::strerror(errno) : "not a regular file";
    if (fd_ >= 0) ::close(fd_);
    throw EngineError(NDS_E_INVALID_PATH, path + ": cannot be opened: " + why);
  }
  size_ = static_cast<uint64_t>(st.st_size);
}

InputFile::~InputFile() {
  ::close(fd_);
}

size_t InputFile::ReadAt(uint64_t offset, char* buffer, size_t length) {
  size_t done = 0;
  while (done < length) {
    ssize_t n = ::pread(fd_, buffer + done, length - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0)
      throw EngineError(NDS_E_BAD_FILE, path_ + ": cannot be read: " + std::strerror(errno));
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

OutputFile::OutputFile(const std::string& target) : target_(target) {
  std::string pattern = target + ".tmp-XXXXXX";
  fd_ = ::mkstemp(pattern.data());
  if (fd_ < 0) Fail("cannot be made");
  temp_path_ = pattern;
  ::fchmod(fd_, 0644);
  buffer_.reserve(kWriteBuffer);
}

OutputFile::~OutputFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!committed_ && !temp_path_.empty()) ::unlink(temp_path_.c_str());
}

void OutputFile::Fail(const char* doing) {
  throw EngineError(NDS_E_INVALID_PATH, target_ + ": " + doing + ": " + std::strerror(errno));
}

void OutputFile::Flush() {
  size_t done = 0;
  while (done < buffer_.size()) {
    ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Fail("cannot be written");
    done += static_cast<size_t>(n);
  }
  buffer_.clear();
}

void OutputFile::Append(const char* data, size_t length) {
  size_ += length;
  if (buffer_.size() + length > kWriteBuffer) {
    Flush();
    if (length >= kWriteBuffer) {
      buffer_.assign(data, length);
      Flush();
      return;
    }
  }
  buffer_.append(data, length);
}

void OutputFile::WriteAt(uint64_t offset, const std::string& data) {
  Flush();
  if (::pwrite(fd_, data.data(), data.size(), static_cast<off_t>(offset)) !=
      static_cast<ssize_t>(data.size()))
    Fail("cannot be written");
}

void OutputFile::Close() {
  Flush();
  if (::fsync(fd_) != 0) Fail("cannot be written");
  int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) Fail("cannot be written");
}

void OutputFile::Commit() {
  if (::rename(temp_path_.c_str(), target_.c_str()) != 0) Fail("cannot be given its name");
  committed_ = true;
}

}  // namespace nce
