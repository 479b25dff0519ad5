#include "tools/nce_sql/credentials.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>

namespace nce_sql {

namespace {

// Reads one line from `fd` up to a line feed or the end, without it.
std::string ReadLine(int fd) {
  std::string line;
  char c = 0;
  while (read(fd, &c, 1) == 1 && c != '\n') line += c;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

// Prompts on the controlling terminal itself, so that a script given on
// standard input does not swallow the answer.
std::string PromptWithoutEcho(const std::string& prompt) {
  const int tty = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (tty < 0) return std::string();
  termios saved{};
  const bool has_modes = tcgetattr(tty, &saved) == 0;
  if (has_modes) {
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    tcsetattr(tty, TCSADRAIN, &quiet);
  }
  if (write(tty, prompt.data(), prompt.size()) < 0) {
    // Nothing to do: the answer is still read.
  }
  std::string answer = ReadLine(tty);
  if (has_modes) tcsetattr(tty, TCSADRAIN, &saved);  // keeps what was typed ahead
  close(tty);
  return answer;
}

}  // namespace

std::string ReadPassword(const std::string& user) {
  if (const char* from_environment = std::getenv("NCE_PASSWORD")) return from_environment;
  return PromptWithoutEcho("Password for " + user + ": ");
}

}  // namespace nce_sql
