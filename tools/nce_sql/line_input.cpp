#include "tools/nce_sql/line_input.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>

#ifdef NCE_SQL_HAVE_LIBEDIT
#include <editline/readline.h>
#endif

namespace nce_sql {

namespace {

class StreamLines : public LineInput {
 public:
  explicit StreamLines(std::istream& in) : in_(in) {}
  bool ReadLine(const std::string&, std::string* line) override {
    if (!std::getline(in_, *line)) return false;
    if (!line->empty() && line->back() == '\r') line->pop_back();
    return true;
  }
  bool Interactive() const override { return false; }

 private:
  std::istream& in_;  // not owned
};

// A terminal without line editing still prompts.
class PromptedLines : public StreamLines {
 public:
  PromptedLines() : StreamLines(std::cin) {}
  bool ReadLine(const std::string& prompt, std::string* line) override {
    std::cout << prompt << std::flush;
    return StreamLines::ReadLine(prompt, line);
  }
  bool Interactive() const override { return true; }
};

#ifdef NCE_SQL_HAVE_LIBEDIT
class EditedLines : public LineInput {
 public:
  explicit EditedLines(std::string history_file) : history_file_(std::move(history_file)) {
    using_history();
    stifle_history(1000);
    if (!history_file_.empty()) read_history(history_file_.c_str());
  }
  ~EditedLines() override {
    if (!history_file_.empty()) write_history(history_file_.c_str());
  }

  bool ReadLine(const std::string& prompt, std::string* line) override {
    char* text = readline(prompt.c_str());
    if (text == nullptr) {
      std::cout << '\n';  // the shell's prompt starts on a line of its own
      return false;
    }
    line->assign(text);
    std::free(text);
    if (line->find_first_not_of(" \t") != std::string::npos) add_history(line->c_str());
    return true;
  }
  bool Interactive() const override { return true; }

 private:
  std::string history_file_;  // empty: no history kept across runs
};
#endif

}  // namespace

std::unique_ptr<LineInput> StreamInput(std::istream& in) {
  return std::make_unique<StreamLines>(in);
}

std::unique_ptr<LineInput> StandardInput(const std::string& history_file) {
  if (!isatty(STDIN_FILENO)) return std::make_unique<StreamLines>(std::cin);
#ifdef NCE_SQL_HAVE_LIBEDIT
  return std::make_unique<EditedLines>(history_file);
#else
  (void)history_file;
  return std::make_unique<PromptedLines>();
#endif
}

std::string DefaultHistoryFile() {
  const char* home = std::getenv("HOME");
  if (home == nullptr || *home == '\0') return std::string();
  return std::string(home) + "/.nce_sql_history";
}

}  // namespace nce_sql
