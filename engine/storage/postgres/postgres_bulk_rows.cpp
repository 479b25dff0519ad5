// Many rows at once on a server: COPY ... FROM STDIN in its binary format
// for inserts (its text format for a table with a column type the binary
// encoder lacks), a server-side cursor read in windows for reads. Names go to the
// server in lower case, as the engine's tables there hold them.
#include <libpq-fe.h>

#include <atomic>
#include <charconv>
#include <cmath>
#include <map>
#include <optional>

#include "engine/base/settings.h"
#include "engine/base/sql_text.h"
#include "engine/storage/bulk_rows.h"
#include "engine/storage/paged_rows.h"
#include "engine/storage/postgres/postgres_copy_binary.h"
#include "engine/storage/postgres/postgres_session.h"

namespace nce {
namespace {

// Bytes of COPY data gathered before they are sent.
constexpr size_t kCopyChunk = 256 * 1024;
// Rows a streamed read fetches per round trip.
constexpr int kStreamRows = 10000;
// The savepoint that lets a failed COPY undo its own rows alone.
constexpr const char* kCopyGuard = "nce_copy";
// The first server version whose numeric type has infinities, which a
// real may bring; every binary form used here is older.
constexpr int kBinaryCopyServerVersion = 140000;

void AppendText(CopyBuffer* out, std::string_view text) {
  out->Append(text.data(), text.size());
}
void AppendByte(CopyBuffer* out, char c) {
  *out->Room(1) = c;
}

// Appends `value` as COPY's text format writes a column: \N for NULL,
// backslash escapes for the bytes that separate rows and columns, bytea in
// its hex form. A text holding a zero byte cannot be sent.
void AppendCopyValue(const Value& value, CopyBuffer* out) {
  switch (value.kind) {
    case Value::Kind::kUnset:
    case Value::Kind::kNull:
      AppendText(out, "\\N");
      return;
    case Value::Kind::kInteger: {
      char digits[24];
      auto end = std::to_chars(digits, digits + sizeof digits, value.integer).ptr;
      out->Append(digits, static_cast<size_t>(end - digits));
      return;
    }
    case Value::Kind::kReal: {
      if (std::isnan(value.real)) {
        AppendText(out, "NaN");
      } else if (std::isinf(value.real)) {
        AppendText(out, value.real < 0 ? "-Infinity" : "Infinity");
      } else {
        char digits[32];  // the shortest text that reads back as the same double
        auto end = std::to_chars(digits, digits + sizeof digits, value.real).ptr;
        out->Append(digits, static_cast<size_t>(end - digits));
      }
      return;
    }
    case Value::Kind::kText:
      for (char c : value.bytes) {
        switch (c) {
          case '\\':
            AppendText(out, "\\\\");
            break;
          case '\t':
            AppendText(out, "\\t");
            break;
          case '\n':
            AppendText(out, "\\n");
            break;
          case '\r':
            AppendText(out, "\\r");
            break;
          case '\0':
            throw EngineError(NDS_E_VALUE_INVALID,
                              "A text holds a zero byte, which the server cannot keep.");
          default:
            AppendByte(out, c);
        }
      }
      return;
    case Value::Kind::kBlob: {
      static const char kHex[] = "0123456789abcdef";
      AppendText(out, "\\\\x");
      for (unsigned char c : value.bytes) {
        AppendByte(out, kHex[c >> 4]);
        AppendByte(out, kHex[c & 15]);
      }
      return;
    }
  }
}

}  // namespace

// One COPY at a time, begun at the first row after a Finish. Rows gather in
// a buffer sent in pieces of kCopyChunk bytes; the server checks them as
// they arrive, and reports a refusal at the latest when the COPY ends.
// The rows go in COPY's binary format where every column's type has an
// encoder (postgres_copy_binary.h), else in its text format.
//
// With `unguarded`, the table's type guards (the engine's CHECK constraints,
// named nce_f...) are dropped before the rows go in and made again NOT VALID
// at Finish: they hold for every later row, and the rows of the COPY, which
// the caller checked, are not checked a second time. So is its primary key
// on rowid, made again (and so checked) at Finish: one index built from the
// sorted numbers costs a fraction of an insert into the index per row. Only
// for a table made in the same transaction, whose rollback on any failure
// takes the dropped constraints back with it, and which is empty: its rows
// are numbered here from 1, as its identity would number them.
class PostgresCopyIn : public BulkInsert {
 public:
  PostgresCopyIn(PostgresSession& session, const std::string& table,
                 const std::vector<std::string>& columns, int64_t first_record, bool unguarded)
      : session_(session),
        table_(QuoteIdentifier(LowerAscii(table))),
        next_record_(first_record),
        own_numbers_(first_record == 0 && unguarded) {
    // A new table's rows take the numbers its identity would give them,
    // 1, 2, ..., sent with the rows: the server then evaluates no default
    // (a sequence step) per row, and the identity goes on after them.
    if (own_numbers_) next_record_ = 1;
    sql_ = "COPY " + table_ + " (";
    if (next_record_ != 0) sql_ += "rowid, ";
    for (size_t i = 0; i < columns.size(); ++i)
      sql_ += (i ? ", " : "") + QuoteIdentifier(LowerAscii(columns[i]));
    sql_ += ") FROM STDIN";
    if (!g_server_copy_as_text.load() && BinaryColumns(columns)) sql_ += " (FORMAT binary)";
    if (unguarded) DropGuards();
  }
  ~PostgresCopyIn() override {
    if (!copying_) return;
    // Abandoned: the server drops what it took, and the guard undoes it.
    try {
      Abort("the import was abandoned");
    } catch (const EngineError&) {
      // The connection is gone; the server rolled back the transaction.
    }
  }

  void Add(const std::vector<Value>& row) override {
    if (!copying_) Start();
    if (!binary_.empty()) return AddBinary(row);
    if (next_record_ != 0) {
      AppendCopyValue(Value::Integer(next_record_++), &buffer_);
      AppendByte(&buffer_, '\t');
    }
    for (size_t i = 0; i < row.size(); ++i) {
      if (i) AppendByte(&buffer_, '\t');
      try {
        AppendCopyValue(row[i], &buffer_);
      } catch (const EngineError&) {
        Abort("a value could not be sent");
        throw;
      }
    }
    AppendByte(&buffer_, '\n');
    if (buffer_.size() >= kCopyChunk) Send();
  }

  void Finish() override {
    if (copying_) {
      if (!binary_.empty()) AppendCopyBinaryTrailer(&buffer_);
      Send();
      copying_ = false;
      session_.Await(PutCopyEnd(session_.conn_, nullptr, session_.AnswerDeadline()), true);
      Drain();
      session_.Simple(std::string("RELEASE SAVEPOINT ") + kCopyGuard);
    }
    // Later rows are checked by the server again; the primary key checks
    // these rows too as its index is built.
    for (const DroppedConstraint& dropped : dropped_guards_)
      session_.Execute("ALTER TABLE " + table_ + " ADD CONSTRAINT " +
                       QuoteIdentifier(dropped.name) + " " + dropped.definition +
                       (dropped.key ? "" : " NOT VALID"));
    dropped_guards_.clear();
    if (own_numbers_)
      session_.Execute("SELECT setval(pg_get_serial_sequence(" + QuoteLiteral(table_) +
                       ", 'rowid'), " + std::to_string(next_record_) + ", false)");
  }

 private:
  struct DroppedConstraint {
    std::string name;
    std::string definition;  // CHECK (...) or PRIMARY KEY (rowid)
    bool key;                // the primary key, made again whole
  };

  // The encoders of the columns (and first of the record number when the
  // rows carry it), when every column's type has one; false, with none
  // chosen, where the text format must carry the rows.
  bool BinaryColumns(const std::vector<std::string>& columns) {
    if (!session_.conn_ || PQserverVersion(session_.conn_) < kBinaryCopyServerVersion) return false;
    auto types =
        session_.Prepare("SELECT attname::text, atttypid FROM pg_attribute WHERE attrelid = " +
                         QuoteLiteral(table_) + "::regclass AND attnum > 0 AND NOT attisdropped");
    std::map<std::string, std::optional<CopyColumnType>> of_column;
    while (types->Step())
      of_column[types->Column(0).bytes] =
          CopyColumnTypeOf(static_cast<uint32_t>(types->Column(1).integer));
    std::vector<CopyColumnType> chosen;
    if (next_record_ != 0) chosen.push_back(CopyColumnType::kInt8);
    for (const std::string& column : columns) {
      auto found = of_column.find(LowerAscii(column));
      if (found == of_column.end() || !found->second) return false;
      chosen.push_back(*found->second);
    }
    binary_ = std::move(chosen);
    return true;
  }

  void AddBinary(const std::vector<Value>& row) {
    AppendCopyBinaryRow(static_cast<int>(binary_.size()), &buffer_);
    size_t field = 0;
    if (next_record_ != 0)
      AppendCopyBinaryField(binary_[field++], Value::Integer(next_record_++), &buffer_);
    for (const Value& value : row) {
      try {
        AppendCopyBinaryField(binary_[field++], value, &buffer_);
      } catch (const EngineError&) {
        Abort("a value could not be sent");
        throw;
      }
    }
    if (buffer_.size() >= kCopyChunk) Send();
  }

  void DropGuards() {
    auto guards = session_.Prepare(
        "SELECT conname, pg_get_constraintdef(oid), contype::text FROM pg_constraint "
        "WHERE conrelid = " +
        QuoteLiteral(table_) +
        "::regclass AND (contype = 'c' AND conname LIKE 'nce\\_f%' OR contype = 'p') "
        "ORDER BY contype = 'p', conname");
    while (guards->Step())
      dropped_guards_.push_back(
          {guards->Column(0).bytes, guards->Column(1).bytes, guards->Column(2).bytes == "p"});
    for (const DroppedConstraint& dropped : dropped_guards_)
      session_.Execute("ALTER TABLE " + table_ + " DROP CONSTRAINT " +
                       QuoteIdentifier(dropped.name));
  }

  void Start() {
    session_.RequireConnection();
    session_.Simple(std::string("SAVEPOINT ") + kCopyGuard);
    PGresult* result = session_.Exchange(sql_, nullptr, true);
    ExecStatusType status = result ? PQresultStatus(result) : PGRES_FATAL_ERROR;
    if (status != PGRES_COPY_IN) {
      EngineError error = session_.Error(result, true);
      PQclear(result);
      Undo();
      throw error;
    }
    PQclear(result);
    copying_ = true;
    if (!binary_.empty()) AppendCopyBinaryHeader(&buffer_);
  }
  void Send() {
    if (buffer_.empty()) return;
    session_.Await(PutCopyData(session_.conn_, buffer_.data(), static_cast<int>(buffer_.size()),
                               session_.AnswerDeadline()),
                   true);
    buffer_.clear();
  }
  // Reads the COPY's results; throws the server's refusal, after undoing
  // the COPY's rows.
  void Drain() {
    std::optional<EngineError> refusal;
    const WireDeadline deadline = session_.AnswerDeadline();
    for (PGresult* result = session_.NextResult(deadline, true); result;
         result = session_.conn_ ? session_.NextResult(deadline, true) : nullptr) {
      if (PQresultStatus(result) != PGRES_COMMAND_OK && !refusal)
        refusal.emplace(session_.Error(result, true));
      PQclear(result);
      if (!session_.conn_) break;
    }
    if (refusal) {
      Undo();
      throw *refusal;
    }
  }
  void Abort(const char* why) {
    copying_ = false;
    buffer_.clear();
    const WireDeadline deadline = session_.AnswerDeadline();
    session_.Await(PutCopyEnd(session_.conn_, why, deadline), true);
    for (PGresult* result = session_.NextResult(deadline, true); result;
         result = session_.NextResult(deadline, true))
      PQclear(result);
    Undo();
  }
  void Undo() {
    if (!session_.conn_) return;
    session_.Simple(std::string("ROLLBACK TO SAVEPOINT ") + kCopyGuard);
    session_.Simple(std::string("RELEASE SAVEPOINT ") + kCopyGuard);
  }

  PostgresSession& session_;
  std::string table_;  // the table's name, quoted as the server holds it
  std::vector<DroppedConstraint> dropped_guards_;  // to be made again at Finish
  std::string sql_;                                // the COPY statement
  std::vector<CopyColumnType> binary_;             // the encoders of the binary format; empty: text
  CopyBuffer buffer_;                              // rows not sent yet, in the COPY's format
  int64_t next_record_;                            // record number of the next row; 0: the server's
  bool own_numbers_;      // the rows of a new table numbered here, not by its identity
  bool copying_ = false;  // a COPY is open on the connection
};

namespace {

// The rows of a server-side cursor, fetched a window at a time; the cursor
// closes with the statement, and so does the transaction it began for
// itself (`own`: the session had none open).
class StreamedRows : public PagedRows {
 public:
  StreamedRows(StoreSession& session, const std::string& name, bool own)
      : PagedRows(session.Prepare("FETCH " + std::to_string(kStreamRows) + " FROM " + name)),
        session_(session),
        name_(name),
        own_(own) {}
  ~StreamedRows() override {
    try {
      ReleaseFetch();
      if (!session_.Connected() || !session_.InTransaction()) return;
      if (own_)
        session_.Rollback();  // it read, and changed nothing
      else
        session_.Execute("CLOSE " + name_);
    } catch (const EngineError&) {
      // An aborted transaction closes its cursors with its rollback.
    }
  }

 private:
  StoreSession& session_;
  std::string name_;  // the server-side cursor
  bool own_;          // the transaction is the statement's own
};

}  // namespace

std::unique_ptr<BulkInsert> PostgresSession::BeginBulkInsert(
    const std::string& table, const std::vector<std::string>& columns, int64_t first_record,
    bool values_checked) {
  RequireTransaction();
  return std::make_unique<PostgresCopyIn>(*this, table, columns, first_record, values_checked);
}

std::unique_ptr<StoreStatement> PostgresSession::PrepareStream(std::string_view sql) {
  // A server's cursors live in transactions: one of the read's own when
  // the caller has none.
  static std::atomic<uint64_t> cursors{0};
  const std::string name = "nce_stream_" + std::to_string(++cursors);
  const bool own = !InTransaction();
  if (own) Begin();
  try {
    Execute("DECLARE " + name + " NO SCROLL CURSOR FOR " + std::string(sql));
    return std::make_unique<StreamedRows>(*this, name, own);
  } catch (...) {
    if (own && InTransaction()) Rollback();
    throw;
  }
}

void PostgresSession::AfterNumberedRows(const std::string& table) {
  std::string name = QuoteLiteral(QuoteIdentifier(LowerAscii(table)));
  Execute("SELECT setval(pg_get_serial_sequence(" + name +
          ", 'rowid'), (SELECT coalesce(max(rowid), 0) + 1 FROM " +
          QuoteIdentifier(LowerAscii(table)) + "), false)");
}

}  // namespace nce
