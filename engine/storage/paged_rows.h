// The rows of a server-side cursor read a window at a time: one FETCH
// statement run again whenever its window is read, seen as one statement
// with all the rows. What a store gives a caller that wants a large result
// without holding it in memory whole.
#ifndef ENGINE_STORAGE_PAGED_ROWS_H
#define ENGINE_STORAGE_PAGED_ROWS_H

#include <memory>
#include <string>

#include "engine/storage/store_session.h"

namespace nce {

class PagedRows : public StoreStatement {
 public:
  // `fetch`: a statement that reads the cursor's next window of rows.
  explicit PagedRows(std::unique_ptr<StoreStatement> fetch) : fetch_(std::move(fetch)) {}

  void Bind(int, const Value&) override {}
  // The next row; a window that ends is followed by the next one, and an
  // empty window ends the rows (no further FETCH is sent).
  bool Step() override {
    if (done_) return false;
    if (fetch_->Step()) return true;
    fetch_->Reset();
    if (fetch_->Step()) return true;
    done_ = true;
    return false;
  }
  int ColumnCount() const override { return fetch_->ColumnCount(); }
  std::string ColumnName(int column) const override { return fetch_->ColumnName(column); }
  Value Column(int column) const override { return fetch_->Column(column); }
  void ColumnInto(int column, Value* value) const override { fetch_->ColumnInto(column, value); }
  Origin ColumnOrigin(int column) const override { return fetch_->ColumnOrigin(column); }
  std::string ColumnType(int column) const override { return fetch_->ColumnType(column); }
  bool ReadsOnly() const override { return true; }
  int64_t RowsChanged() const override { return 0; }
  void Reset() override {}

 protected:
  // Lets go of the FETCH statement (before its cursor is closed).
  void ReleaseFetch() { fetch_.reset(); }

 private:
  std::unique_ptr<StoreStatement> fetch_;  // FETCH of the next window
  bool done_ = false;                      // an empty window was read
};

}  // namespace nce

#endif  // ENGINE_STORAGE_PAGED_ROWS_H
