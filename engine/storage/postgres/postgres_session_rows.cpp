// What a server session answers for the record work of cursors: its
// dialect, its clock, and parts of long values.
#include <algorithm>
#include <cstdint>
#include <optional>

#include "engine/base/sql_text.h"
#include "engine/base/values.h"
#include "engine/storage/postgres/postgres_catalog.h"
#include "engine/storage/postgres/postgres_session.h"
#include "engine/storage/postgres/postgres_tables.h"
#include "engine/storage/store_dialect.h"

namespace nce {

const StoreDialect& PostgresSession::dialect() const {
  return PostgresDialect();
}

bool PostgresSession::ReadClock(Clock* clock) {
  auto stmt = Prepare(
      "SELECT to_char(t, 'YYYYMMDD'), to_char(t, 'HH24:MI:SS'), "
      "CAST(floor(extract(epoch FROM t - date_trunc('day', t)) * 1000) AS bigint) "
      "FROM (SELECT localtimestamp AS t) now");
  if (!stmt->Step()) throw EngineError(NDS_E_SQL, "The server did not tell its time.");
  clock->date = stmt->Column(0).bytes;
  clock->time = stmt->Column(1).bytes;
  clock->milliseconds = static_cast<int32_t>(stmt->Column(2).integer);
  return true;
}

bool PostgresSession::ReadValuePart(const std::string& table, const std::string& column,
                                    bool binary, int64_t rowid, uint64_t offset, uint64_t length,
                                    std::string* part) {
  // Offsets count bytes: a text column's part is cut from its UTF-8 bytes.
  std::string value = QuoteIdentifier(LowerAscii(column));
  if (!binary) value = "convert_to(" + value + ", 'UTF8')";
  std::unique_ptr<StoreStatement> read =
      Prepare("SELECT substring(" + value + " FROM ?2::int FOR ?3::int) FROM " +
              QuoteIdentifier(LowerAscii(table)) + " WHERE rowid = ?1");
  read->Bind(1, Value::Integer(rowid));
  read->Bind(2,
             Value::Integer(static_cast<int64_t>(std::min<uint64_t>(offset, INT32_MAX - 1) + 1)));
  read->Bind(3, Value::Integer(static_cast<int64_t>(std::min<uint64_t>(length, INT32_MAX))));
  part->clear();
  if (!read->Step()) return true;
  Value got = read->Column(0);
  if (got.kind == Value::Kind::kText || got.kind == Value::Kind::kBlob)
    *part = std::move(got.bytes);
  return true;
}

}  // namespace nce
