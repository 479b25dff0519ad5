// Qt SQL's PostgreSQL driver (QPSQL) on the link benchmark's work, as a Qt
// program writes it: a forward-only QSqlQuery walk and prepared queries.
// Raises std::runtime_error with the driver's text on any failure. Needs a
// QCoreApplication.
#ifndef BENCH_LINK_QT_CONTENDER_H_
#define BENCH_LINK_QT_CONTENDER_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bench/link/link_work.h"

class QSqlQuery;

namespace link_bench {

class QtContender {
 public:
  // Opens the database of `address` at `port` (the relay's) and prepares
  // the queries. False from Available() when Qt has no QPSQL driver.
  QtContender(const ServerAddress& address, int port);
  ~QtContender();
  QtContender(const QtContender&) = delete;
  QtContender& operator=(const QtContender&) = delete;

  static bool Available();

  int64_t Walk();
  void Seek(const std::vector<std::string>& keys);
  void Edit(const std::vector<uint32_t>& records);
  // `rows` prepared INSERTs inside transaction() and commit().
  void Append(int rows);

 private:
  std::unique_ptr<QSqlQuery> seek_;    // prepared SELECT by code
  std::unique_ptr<QSqlQuery> edit_;    // prepared UPDATE by record number
  std::unique_ptr<QSqlQuery> append_;  // prepared INSERT
};

}  // namespace link_bench

#endif  // BENCH_LINK_QT_CONTENDER_H_
