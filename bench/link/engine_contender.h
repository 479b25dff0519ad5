// The engine's side of the link benchmark: the work as a program does it
// through the engine's C interface and, for the query walk, through a live
// TNdsQuery. Every piece of work checks what it read or wrote and raises
// std::runtime_error with the engine's text on any failure.
#ifndef BENCH_LINK_ENGINE_CONTENDER_H_
#define BENCH_LINK_ENGINE_CONTENDER_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "nce/nce.h"

namespace nds {
class TNdsConnection;
}

namespace link_bench {

class EngineContender {
 public:
  // Connects to `uri` (through the relay) with the C interface and with a
  // TNdsConnection, and opens the cursors the seeks, edits and appends use.
  explicit EngineContender(const std::string& uri);
  ~EngineContender();
  EngineContender(const EngineContender&) = delete;
  EngineContender& operator=(const EngineContender&) = delete;

  // A live table cursor (NdsOpenTable) from the top to the end, reading
  // every record image. Returns the records read.
  int64_t WalkTable();
  // A live TNdsQuery over the table, First to Eof, reading its fields.
  int64_t WalkQuery();
  // NdsSeek in the order by_code and the record found, for every key.
  void Seek(const std::vector<std::string>& keys);
  // For each record as the components edit under pessimistic locking: go
  // to the record, lock it, read it under the lock, set the name, write,
  // unlock.
  void Edit(const std::vector<uint32_t>& records);
  // `rows` appends in one transaction, four fields each.
  void Append(int rows);

  // The repair script of the repair window run on `uri` as the window runs
  // it: connect, begin, prepare and execute the script, commit, disconnect.
  static void Repair(const std::string& uri, const std::string& script);

 private:
  NDSHANDLE connection_ = 0;                         // the C interface's connection
  NDSHANDLE seek_cursor_ = 0;                        // on walked, the order by_code open
  NDSHANDLE by_code_ = 0;                            // that order
  NDSHANDLE edit_cursor_ = 0;                        // on walked, in record order
  NDSHANDLE append_cursor_ = 0;                      // on appended
  std::unique_ptr<nds::TNdsConnection> components_;  // for the query walk
};

}  // namespace link_bench

#endif  // BENCH_LINK_ENGINE_CONTENDER_H_
