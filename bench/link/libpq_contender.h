// The plain libpq side of the link benchmark: the fewest round trips libpq
// offers for each piece of work (a walk in single-row mode, prepared
// statements, appends in one pipeline). Raises std::runtime_error with the
// server's text on any failure.
#ifndef BENCH_LINK_LIBPQ_CONTENDER_H_
#define BENCH_LINK_LIBPQ_CONTENDER_H_

#include <libpq-fe.h>

#include <cstdint>
#include <string>
#include <vector>

namespace link_bench {

class LibpqContender {
 public:
  // Connects to `uri` (through the relay) and prepares the statements.
  explicit LibpqContender(const std::string& uri);
  ~LibpqContender();
  LibpqContender(const LibpqContender&) = delete;
  LibpqContender& operator=(const LibpqContender&) = delete;

  // One SELECT of the table in record order, read in single-row mode.
  int64_t Walk();
  // A prepared SELECT by code on the server's own index, for every key.
  void Seek(const std::vector<std::string>& keys);
  // A prepared UPDATE of the name by record number, for every record.
  void Edit(const std::vector<uint32_t>& records);
  // BEGIN, `rows` prepared INSERTs and COMMIT sent in one pipeline while
  // the answers come back; every row's answer is checked.
  void Append(int rows);

 private:
  PGresult* Prepared(const char* name, int count, const char* const* values);
  // Reads the pipeline's answers that have arrived; false once the sync's
  // answer came.
  bool ReadArrived(int* answered);
  void WaitForSocket(bool want_write);

  PGconn* conn_;                  // owned
  bool between_answers_ = false;  // a statement's answer read, its end not yet
};

}  // namespace link_bench

#endif  // BENCH_LINK_LIBPQ_CONTENDER_H_
