// The transaction that makes an import whole: the connection's own when
// the caller has none open, else a savepoint inside the caller's. Ended
// without Commit (a refusal, a cancel), it undoes everything done in it.
#ifndef ENGINE_INTERCHANGE_TABLE_TRANSACTION_H
#define ENGINE_INTERCHANGE_TABLE_TRANSACTION_H

#include <string>

#include "engine/storage/connection.h"

namespace nce {

class TableTransaction {
 public:
  // `savepoint`: the savepoint's name inside a caller's transaction. The
  // caller holds the connection's lock until the transaction ends.
  TableTransaction(Connection& connection, std::string savepoint) REQUIRES(connection.mutex());
  ~TableTransaction();
  TableTransaction(const TableTransaction&) = delete;
  TableTransaction& operator=(const TableTransaction&) = delete;

  void Commit();

 private:
  Connection& connection_;
  std::string savepoint_;  // empty when the transaction is the connection's own
  bool done_ = false;      // committed, or undone
};

}  // namespace nce

#endif  // ENGINE_INTERCHANGE_TABLE_TRANSACTION_H
