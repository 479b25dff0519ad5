#include "bench/link/engine_contender.h"

#include <stdexcept>

#include "bench/bench_support.h"
#include "dataset/strings.h"
#include "nds/ndscnnct.h"
#include "nds/ndstable.h"

namespace link_bench {

namespace {

void Check(NDSRESULT rc, const char* what) {
  if (rc == 0) return;
  throw std::runtime_error(std::string(what) + ": " + bench::LastEngineError());
}

void SetText(NDSHANDLE cursor, const char* field, const std::string& text) {
  Check(NdsSetField(cursor, field, text.data(), static_cast<uint32_t>(text.size())), field);
}

}  // namespace

EngineContender::EngineContender(const std::string& uri) {
  Check(NdsConnect60(uri.c_str(), NDS_REMOTE_SERVER, "", "", 0, &connection_), "connect");
  Check(NdsOpenTable(connection_, "walked", 0, 0, 0, &seek_cursor_), "open walked");
  Check(NdsGetIndexHandle(seek_cursor_, "by_code", &by_code_), "order by_code");
  Check(NdsOpenTable(connection_, "walked", 0, 0, 0, &edit_cursor_), "open walked");
  Check(NdsOpenTable(connection_, "appended", 0, 0, 0, &append_cursor_), "open appended");
  components_ = std::make_unique<nds::TNdsConnection>(nullptr);
  components_->SetNdsServerTypes(nds::TNdsServerTypes{nds::stNDS_REMOTE});
  components_->SetLoginPrompt(false);
  components_->SetConnectPath(uri);
  components_->Connect();
}

EngineContender::~EngineContender() {
  components_.reset();
  NdsCloseTable(append_cursor_);
  NdsCloseTable(edit_cursor_);
  NdsCloseTable(seek_cursor_);
  NdsDisconnect(connection_);
}

int64_t EngineContender::WalkTable() {
  NDSHANDLE cursor = 0;
  Check(NdsOpenTable(connection_, "walked", 0, 0, 0, &cursor), "open walked");
  char record[256];
  int64_t rows = 0;
  try {
    Check(NdsGotoTop(cursor), "top");
    for (;;) {
      uint16_t eof = 0;
      Check(NdsAtEOF(cursor, &eof), "eof");
      if (eof) break;
      uint32_t length = sizeof record;
      Check(NdsGetRecord(cursor, record, &length), "record");
      ++rows;
      Check(NdsSkip(cursor, 1), "skip");
    }
  } catch (...) {
    NdsCloseTable(cursor);
    throw;
  }
  Check(NdsCloseTable(cursor), "close");
  return rows;
}

int64_t EngineContender::WalkQuery() {
  nds::TNdsQuery query(nullptr);
  query.SetNdsConnection(components_.get());
  query.SetRequestLive(true);
  dataset::TStringList lines;
  lines.SetText("select * from walked");
  query.SetSQL(&lines);
  query.Open();
  dataset::TField* id = query.FieldByName("id");
  dataset::TField* name = query.FieldByName("name");
  dataset::TField* amount = query.FieldByName("amount");
  dataset::TField* day = query.FieldByName("day");
  int64_t rows = 0;
  double sum = 0;
  for (query.First(); !query.Eof(); query.Next()) {
    sum += id->AsInteger() + amount->AsFloat() + day->AsDateTime();
    rows += name->AsString().empty() ? 0 : 1;
  }
  query.Close();
  if (sum == 0) throw std::runtime_error("the query walk read no values");
  return rows;
}

void EngineContender::Seek(const std::vector<std::string>& keys) {
  char record[256];
  for (const std::string& key : keys) {
    uint16_t found = 0;
    Check(NdsSeek(by_code_, key.data(), static_cast<uint16_t>(key.size()), NDS_STRINGKEY,
                  NDS_HARDSEEK, &found),
          "seek");
    if (!found) throw std::runtime_error("seek: key " + key + " not found");
    uint32_t length = sizeof record;
    Check(NdsGetRecord(seek_cursor_, record, &length), "record");
  }
}

void EngineContender::Edit(const std::vector<uint32_t>& records) {
  int edit = 0;
  for (uint32_t record : records) {
    Check(NdsGotoRecord(edit_cursor_, record), "go to record");
    Check(NdsLockRecord(edit_cursor_, record), "lock");
    Check(NdsRefreshRecord(edit_cursor_), "read under the lock");
    SetText(edit_cursor_, "name", "edited " + std::to_string(++edit));
    Check(NdsWriteRecord(edit_cursor_), "write");
    Check(NdsUnlockRecord(edit_cursor_, record), "unlock");
  }
}

void EngineContender::Append(int rows) {
  Check(NdsBeginTransaction(connection_), "begin");
  try {
    for (int i = 1; i <= rows; ++i) {
      Check(NdsAppendRecord(append_cursor_), "append");
      SetText(append_cursor_, "id", std::to_string(i));
      SetText(append_cursor_, "name", "appended " + std::to_string(i));
      SetText(append_cursor_, "amount", std::to_string(i % 1000) + ".25");
      SetText(append_cursor_, "day", "20240301");
      Check(NdsWriteRecord(append_cursor_), "write");
    }
  } catch (...) {
    NdsRollbackTransaction(connection_);
    throw;
  }
  Check(NdsCommitTransaction(connection_), "commit");
}

void EngineContender::Repair(const std::string& uri, const std::string& script) {
  NDSHANDLE connection = 0, statement = 0, cursor = 0;
  Check(NdsConnect60(uri.c_str(), NDS_REMOTE_SERVER, "", "", 0, &connection), "connect");
  NDSRESULT rc = NdsBeginTransaction(connection);
  if (rc == 0) rc = NdsCreateSQLStatement(connection, &statement);
  if (rc == 0) rc = NdsPrepareSQL(statement, script.c_str());
  if (rc == 0) rc = NdsExecuteSQL(statement, &cursor);
  if (rc == 0) rc = NdsCommitTransaction(connection);
  try {
    Check(rc, "repair");
  } catch (...) {
    NdsRollbackTransaction(connection);
    NdsDisconnect(connection);
    throw;
  }
  if (cursor) NdsCloseTable(cursor);
  NdsCloseSQLStatement(statement);
  Check(NdsDisconnect(connection), "disconnect");
}

}  // namespace link_bench
