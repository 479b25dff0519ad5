// The locks a write of a record takes for its moment, unless the cursor
// holds them already: the process's lock table, and the store's own lock
// where the store keeps locks that other machines see (a server's).
#ifndef ENGINE_CURSOR_WRITE_LOCK_H
#define ENGINE_CURSOR_WRITE_LOCK_H

#include <cstdint>

#include "engine/cursor/record_writer.h"

namespace nce {

class RecordWriter::WriteLock {
 public:
  // Throws NDS_E_LOCK_FAILED when another cursor or session holds the record.
  WriteLock(RecordWriter& writer, int64_t recno);
  ~WriteLock() { Release(); }
  // Gives back what this took; nothing more once done.
  void Release() noexcept;
  WriteLock(const WriteLock&) = delete;
  WriteLock& operator=(const WriteLock&) = delete;

 private:
  RecordWriter& writer_;
  int64_t recno_;
  bool local_ = false;  // taken in the process's table here
  bool store_ = false;  // taken in the store here
};

}  // namespace nce

#endif  // ENGINE_CURSOR_WRITE_LOCK_H
