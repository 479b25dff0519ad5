// Reading one entry of a sectioned profile file such as nds.ini, and finding
// nds.ini on this machine.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "nds/ndscnnct.h"

namespace nds {

namespace {

constexpr std::string_view kConfigFileName = "nds.ini";
constexpr std::string_view kWhiteSpace = " \t\f\v";

// Profile files are a few lines long; anything beyond this is not one, and
// reading it whole on every alias lookup would only waste memory.
constexpr std::size_t kMaxProfileFileSize = 4 * 1024 * 1024;

std::string_view Trim(std::string_view s) {
  const auto first = s.find_first_not_of(kWhiteSpace);
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(kWhiteSpace);
  return s.substr(first, last - first + 1);
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    unsigned char ca = static_cast<unsigned char>(a[i]);
    unsigned char cb = static_cast<unsigned char>(b[i]);
    if (ca >= 'a' && ca <= 'z') ca = static_cast<unsigned char>(ca - 'a' + 'A');
    if (cb >= 'a' && cb <= 'z') cb = static_cast<unsigned char>(cb - 'a' + 'A');
    if (ca != cb) return false;
  }
  return true;
}

// A value written in matching quotes is read without them, as the common
// profile readers do.
std::string_view Unquote(std::string_view v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    return v.substr(1, v.size() - 2);
  return v;
}

// Splits the text into lines ended by "\n", "\r\n" or "\r".
template <typename Visit>
void ForEachLine(std::string_view text, Visit visit) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = text.size();
    if (!visit(text.substr(pos, end - pos))) return;
    pos = end;
    if (pos < text.size() && text[pos] == '\r') ++pos;
    if (pos < text.size() && text[pos] == '\n') ++pos;
  }
}

bool IsReadableFile(const std::string& name) {
  struct stat st {};
  return ::stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(name.c_str(), R_OK) == 0;
}

std::string ProgramDirectory() {
  char buf[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return {};
  std::string exe(buf, static_cast<std::size_t>(n));
  const auto slash = exe.rfind('/');
  if (slash == std::string::npos) return {};
  return slash == 0 ? std::string("/") : exe.substr(0, slash);
}

std::string CurrentDirectory() {
  std::vector<char> buf(PATH_MAX);
  if (::getcwd(buf.data(), buf.size()) == nullptr) return {};
  return buf.data();
}

std::string Getenv(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

// The user's configuration directory: $XDG_CONFIG_HOME when it is set to an
// absolute path (the XDG rule: relative values are ignored), else ~/.config.
std::string UserConfigDirectory() {
  const std::string xdg = Getenv("XDG_CONFIG_HOME");
  if (!xdg.empty() && xdg.front() == '/') return xdg;
  const std::string home = Getenv("HOME");
  if (home.empty()) return {};
  return home + "/.config";
}

std::string JoinPath(const std::string& dir, std::string_view name) {
  if (dir.empty()) return std::string(name);
  std::string full = dir;
  if (full.back() != '/') full += '/';
  full += name;
  return full;
}

}  // namespace

std::string FindProfileValue(std::string_view text, std::string_view section,
                             std::string_view entry) {
  // A byte order mark in front of the first line is not part of it.
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);

  bool inSection = false;
  std::string value;
  bool found = false;
  ForEachLine(text, [&](std::string_view raw) {
    const std::string_view line = Trim(raw);
    if (line.empty() || line.front() == ';' || line.front() == '#') return true;
    if (line.front() == '[') {
      std::string_view name = line.substr(1);
      const auto close = name.find(']');
      if (close != std::string_view::npos) name = name.substr(0, close);
      inSection = EqualsIgnoringCase(Trim(name), section);
      return true;
    }
    if (!inSection) return true;
    const auto eq = line.find('=');
    if (eq == std::string_view::npos) return true;
    if (!EqualsIgnoringCase(Trim(line.substr(0, eq)), entry)) return true;
    value = std::string(Unquote(Trim(line.substr(eq + 1))));
    found = true;
    return false;  // the first entry of that name counts
  });
  return found ? value : std::string();
}

std::string ReadProfileString(const std::string& fileName, std::string_view section,
                              std::string_view entry) {
  // Plain system calls: a C++ file stream would set up the standard
  // library's locale machinery, half a megabyte of its code paged in, for a
  // file of a few lines.
  const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  // Read in pieces up to the limit: a buffer of the full limit would take
  // megabytes of memory for a file of a few lines.
  std::string text;
  char piece[8192];
  while (text.size() < kMaxProfileFileSize) {
    const std::size_t wanted = std::min(sizeof piece, kMaxProfileFileSize - text.size());
    const ssize_t got = ::read(fd, piece, wanted);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    text.append(piece, static_cast<std::size_t>(got));
  }
  ::close(fd);
  return FindProfileValue(text, section, entry);
}

std::vector<std::string> ConfigSearchDirectories() {
  std::vector<std::string> dirs;
  auto add = [&](std::string dir) {
    if (!dir.empty()) dirs.push_back(std::move(dir));
  };
  add(ProgramDirectory());
  add(CurrentDirectory());
  add(UserConfigDirectory());
  add("/etc");
  // An empty element of PATH names the current directory, as the shell reads it.
  const std::string path = Getenv("PATH");
  std::size_t pos = 0;
  while (!path.empty() && pos <= path.size()) {
    std::size_t end = path.find(':', pos);
    if (end == std::string::npos) end = path.size();
    std::string dir = path.substr(pos, end - pos);
    add(dir.empty() ? CurrentDirectory() : dir);
    pos = end + 1;
  }
  return dirs;
}

std::string LocateConfigFile() {
  for (const std::string& dir : ConfigSearchDirectories()) {
    std::string candidate = JoinPath(dir, kConfigFileName);
    if (IsReadableFile(candidate)) return candidate;
  }
  return std::string(kConfigFileName);
}

}  // namespace nds
