#include "engine/storage/walk_statement.h"

#include <sqlite3.h>

#include <cstring>

#include "engine/record/field_codecs.h"
#include "engine/record/record_image.h"
#include "engine/storage/sql_error.h"
#include "engine/storage/sqlite_session.h"
#include "engine/storage/sqlite_values.h"

namespace nce {

WalkStatement::WalkStatement(StoreSession& session, const std::string& sql) {
  if (sqlite3* db = SqliteDbOf(session))
    PrepareSqlite(db, sql);
  else
    store_ = session.Prepare(sql);
}

void WalkStatement::PrepareSqlite(sqlite3* db, const std::string& sql) {
  db_ = db;
  int rc = sqlite3_prepare_v3(db, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_finalize(stmt_);
    stmt_ = nullptr;
    throw SqlError(db, rc);
  }
}

WalkStatement::~WalkStatement() {
  sqlite3_finalize(stmt_);
}

void WalkStatement::Bind(int index, const Value& value) {
  if (!stmt_) return store_->Bind(index, value);
  // A parameter the text does not use is left alone, as on a server.
  if (index > sqlite3_bind_parameter_count(stmt_)) return;
  int rc = BindValue(stmt_, index, value);
  if (rc != SQLITE_OK) throw SqlError(db_, rc);
}

void WalkStatement::BindInt64(int index, int64_t value) {
  if (!stmt_) return store_->Bind(index, Value::Integer(value));
  sqlite3_bind_int64(stmt_, index, value);
}

bool WalkStatement::Step() {
  if (!stmt_) {
    try {
      return store_->Step();
    } catch (...) {
      store_->Reset();
      throw;
    }
  }
  int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  sqlite3_reset(stmt_);
  throw SqlError(db_, rc);
}

void WalkStatement::Reset() {
  if (stmt_)
    sqlite3_reset(stmt_);
  else
    store_->Reset();
}

int64_t WalkStatement::Int64(int column) const {
  if (stmt_) return sqlite3_column_int64(stmt_, column);
  Value v = store_->Column(column);
  if (v.kind == Value::Kind::kInteger) return v.integer;
  if (v.kind == Value::Kind::kReal) return static_cast<int64_t>(v.real);
  return 0;
}

Value WalkStatement::ColumnValue(int column) const {
  return stmt_ ? ValueFromColumn(stmt_, column) : store_->Column(column);
}

void WalkStatement::Encode(const FieldDesc& field, bool ndt, int column, uint8_t* image) {
  if (stmt_) return EncodeColumn(field, ndt, stmt_, column, image);
  store_->ColumnInto(column, &scratch_);
  if (IsNull(scratch_))
    EncodeNull(field, ndt, image);
  else
    EncodeValue(field, ndt, scratch_, image);
}

namespace {

// The columns of a stepped SQLite statement, read with SQLite's calls
// inline: the walk reads every column of every row through them.
struct SqliteColumns {
  sqlite3_stmt* stmt;
  int64_t Int64(int column) const { return sqlite3_column_int64(stmt, column); }
  Value ColumnValue(int column) const { return ValueFromColumn(stmt, column); }
  void Encode(const FieldDesc& f, bool ndt, int column, uint8_t* image) const {
    EncodeColumn(f, ndt, stmt, column, image);
  }
};

template <class Columns>
void ReadWalkRow(Columns& columns, const WalkRowLayout& layout, int64_t* rowid, Value* key,
                 std::vector<uint8_t>* record) {
  const TableDesc& desc = *layout.desc;
  *rowid = columns.Int64(0);
  int col = layout.key_column ? 2 : 1;
  if (layout.key_column)
    *key = columns.ColumnValue(1);
  else if (key->kind != Value::Kind::kUnset)
    *key = Value();
  record->resize(desc.record_length);
  uint8_t* image = record->data();
  image[0] = ' ';
  for (const FieldDesc& f : desc.fields) {
    if (CodecFor(f.shape.type).blob != BlobContents::kNone) {
      // The column is the blob's length: the image holds a marker of
      // whether there are contents, which are read on demand.
      std::memset(image + f.offset, 0, f.shape.length);
      int32_t marker = columns.Int64(col) > 0 ? -1 : 0;
      std::memcpy(image + f.offset, &marker, sizeof marker);
    } else {
      columns.Encode(f, layout.ndt, col, image);
    }
    ++col;
  }
  if (layout.deletion_mark && columns.Int64(col)) image[0] = '*';
}

// The columns of a store statement standing on a row.
struct StoreColumns {
  const StoreStatement& stmt;
  Value scratch;
  int64_t Int64(int column) const {
    Value v = stmt.Column(column);
    if (v.kind == Value::Kind::kInteger) return v.integer;
    if (v.kind == Value::Kind::kReal) return static_cast<int64_t>(v.real);
    return 0;
  }
  Value ColumnValue(int column) const { return stmt.Column(column); }
  void Encode(const FieldDesc& f, bool ndt, int column, uint8_t* image) {
    stmt.ColumnInto(column, &scratch);
    if (IsNull(scratch))
      EncodeNull(f, ndt, image);
    else
      EncodeValue(f, ndt, scratch, image);
  }
};

}  // namespace

void ReadWalkRow(const StoreStatement& stmt, const WalkRowLayout& layout, int64_t* rowid,
                 Value* key, std::vector<uint8_t>* image) {
  StoreColumns columns{stmt, Value()};
  ReadWalkRow(columns, layout, rowid, key, image);
}

void WalkStatement::ReadRow(const WalkRowLayout& layout, int64_t* rowid, Value* key,
                            std::vector<uint8_t>* image) {
  if (stmt_) {
    SqliteColumns columns{stmt_};
    return ReadWalkRow(columns, layout, rowid, key, image);
  }
  ReadWalkRow(*this, layout, rowid, key, image);
}

}  // namespace nce
