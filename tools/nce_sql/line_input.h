// Where nce-sql reads its lines: at a terminal with line editing and a
// history kept across runs (libedit), otherwise plain lines from a stream.
#ifndef TOOLS_NCE_SQL_LINE_INPUT_H
#define TOOLS_NCE_SQL_LINE_INPUT_H

#include <istream>
#include <memory>
#include <string>

namespace nce_sql {

class LineInput {
 public:
  virtual ~LineInput() = default;
  // Reads the next line without its line feed; false at the end of input.
  // `prompt` is shown only by interactive input.
  virtual bool ReadLine(const std::string& prompt, std::string* line) = 0;
  // True when a person types the lines (prompts, going on after errors).
  virtual bool Interactive() const = 0;
};

// Plain lines from `in` (a script file or a pipe); `in` must outlive it.
std::unique_ptr<LineInput> StreamInput(std::istream& in);

// Standard input: edited lines with history when it is a terminal (and
// nce-sql was built with libedit), plain lines otherwise. The history lives
// in `history_file` (none when empty), read at start and written back when
// the input ends.
std::unique_ptr<LineInput> StandardInput(const std::string& history_file);

// The history file of the current user: $HOME/.nce_sql_history, or empty
// when there is no HOME.
std::string DefaultHistoryFile();

}  // namespace nce_sql

#endif  // TOOLS_NCE_SQL_LINE_INPUT_H
