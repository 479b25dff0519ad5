// Helpers of the statements that write a cursor's record: kept statements
// reset after use, and a savepoint that makes a write of several statements
// all or nothing.
#ifndef ENGINE_CURSOR_RECORD_WRITE_H
#define ENGINE_CURSOR_RECORD_WRITE_H

#include <string>

#include "engine/base/errors.h"
#include "engine/storage/store_session.h"

namespace nce {

// Resets a kept statement when its use ends, so that no read transaction
// stays open behind it.
class StatementUse {
 public:
  explicit StatementUse(StoreStatement& stmt) : stmt_(stmt) {}
  ~StatementUse() { stmt_.Reset(); }
  StatementUse(const StatementUse&) = delete;
  StatementUse& operator=(const StatementUse&) = delete;
  StoreStatement* operator->() { return &stmt_; }
  StoreStatement& get() { return stmt_; }

 private:
  StoreStatement& stmt_;  // kept by the cursor
};

// The prepared SAVEPOINT, RELEASE and ROLLBACK TO of one savepoint name;
// all null for a write that needs no savepoint.
struct WriteSavepointStatements {
  StoreStatement* open = nullptr;
  StoreStatement* release = nullptr;
  StoreStatement* undo = nullptr;
};

// Opens the savepoint of `stmts` (when there is one); it is rolled back
// unless Commit is called.
class WriteSavepoint {
 public:
  explicit WriteSavepoint(const WriteSavepointStatements& stmts) : stmts_(stmts) {
    if (stmts_.open) Run(*stmts_.open);
  }
  ~WriteSavepoint() {
    if (done_ || !stmts_.open) return;
    // The write failed, and its error is the one the caller sees.
    for (StoreStatement* stmt : {stmts_.undo, stmts_.release}) {
      try {
        Run(*stmt);
      } catch (const EngineError&) {
      }
    }
  }
  WriteSavepoint(const WriteSavepoint&) = delete;
  WriteSavepoint& operator=(const WriteSavepoint&) = delete;
  void Commit() {
    if (stmts_.open) Run(*stmts_.release);
    done_ = true;
  }

 private:
  static void Run(StoreStatement& stmt) {
    StatementUse use(stmt);
    use->Run();
  }

  WriteSavepointStatements stmts_;  // kept by the cursor
  bool done_ = false;               // released
};

}  // namespace nce

#endif  // ENGINE_CURSOR_RECORD_WRITE_H
