// SQL executed by the connection itself, without a query component, and the
// cache that keeps statements prepared for texts executed again and again.
#include <memory>
#include <string>
#include <vector>

#include "dataset/params.h"
#include "dataset/text.h"
#include "nds/ndscnnct.h"
#include "nds/ndsdata.h"

namespace nds {

std::int32_t SQLTextHash(std::string_view text) {
  // Unsigned arithmetic wraps around as the hash requires; the result is the
  // same 32 bits read as a signed number.
  std::uint32_t h = 0;
  const std::size_t length = text.size();
  if (length < 16) {
    for (unsigned char c : text) h = h * 37u + c;
  } else {
    const std::size_t step = length / 8;
    for (std::size_t i = 0; i < length; i += step)
      h = h * 39u + static_cast<unsigned char>(text[i]);
  }
  return static_cast<std::int32_t>(h);
}

TStmtInfo* TNdsConnection::FindStatementEntry(const std::string& sql) {
  if (!statementCache_)
    statementCache_ = std::make_unique<std::vector<std::unique_ptr<TStmtInfo>>>();
  const std::int32_t hash = SQLTextHash(sql);
  for (const auto& entry : *statementCache_)
    if (entry->hash == hash && dataset::SameText(entry->text, sql)) return entry.get();
  statementCache_->push_back(std::make_unique<TStmtInfo>(TStmtInfo{hash, 0, {}}));
  return statementCache_->back().get();
}

void TNdsConnection::DropStatementEntry(const TStmtInfo* entry) {
  if (!statementCache_ || entry == nullptr) return;
  auto& cache = *statementCache_;
  for (auto it = cache.begin(); it != cache.end(); ++it) {
    if (it->get() == entry) {
      cache.erase(it);
      return;
    }
  }
}

NDSHANDLE TNdsConnection::ObtainStatement(const std::string& sql, bool keep, NDSHANDLE* cursor,
                                          const TStmtOptions* options) {
  TStmtInfo* entry = nullptr;
  if (keep) {
    entry = FindStatementEntry(sql);
    // A cached statement is used as it is, with the options and preparation
    // it got when it was created.
    if (entry->statement != 0) return entry->statement;
  }
  NDSHANDLE statement = 0;
  try {
    CheckEngineCode(nullptr, NdsCreateSQLStatement(ConnectionHandle(), &statement));
    if (cursor != nullptr)
      CheckEngineCode(nullptr, NdsStmtSetTableReadOnly(statement, NDS_CURSOR_READONLY));
    if (options != nullptr) {
      CheckEngineCode(nullptr, NdsStmtSetTableType(statement, options->tableType));
      CheckEngineCode(nullptr, NdsStmtSetTableCharType(statement, options->charType));
      CheckEngineCode(nullptr, NdsStmtSetTableLockType(statement, options->lockType));
      CheckEngineCode(nullptr, NdsStmtSetTableRights(statement, options->rightsCheck));
    }
    CheckEngineCode(nullptr, NdsPrepareSQL(statement, sql.c_str()));
  } catch (...) {
    // The cache never holds an entry without a statement, and a statement
    // that could not be set up is not left open in the engine.
    DropStatementEntry(entry);
    if (statement != 0) NdsCloseSQLStatement(statement);
    throw;
  }
  if (entry != nullptr) {
    entry->statement = statement;
    entry->text = sql;
  }
  return statement;
}

std::uint32_t TNdsConnection::RunCachedStatement(const TStmtOptions* options,
                                                 const std::string& sql, dataset::TParams* params,
                                                 bool keep, NDSHANDLE* cursor) {
  if (!IsConnected()) SetIsConnected(true);
  const NDSHANDLE statement = ObtainStatement(sql, keep, cursor, options);
  std::uint32_t result = 0;
  try {
    if (params != nullptr && params->Count() > 0) {
      BindParams(statement, *params, nullptr);
      CheckEngineCode(nullptr, NdsExecuteSQL(statement, cursor));
    } else {
      CheckEngineCode(nullptr, NdsExecuteSQLDirect(statement, sql.c_str(), cursor));
    }
    if (cursor == nullptr) {
      const NDSRESULT rc = NdsGetRecordCount(statement, NDS_IGNOREFILTERS, &result);
      // Without options a statement that has no count (5117) answers 0.
      if (rc == NDS_E_NO_COUNT && options == nullptr)
        result = 0;
      else
        CheckEngineCode(nullptr, rc);
    }
  } catch (...) {
    if (!keep) {
      // The first failure is the one reported; a failing close is secondary.
      NdsCloseSQLStatement(statement);
    }
    throw;
  }
  if (!keep) CheckEngineCode(nullptr, NdsCloseSQLStatement(statement));
  return result;
}

std::uint32_t TNdsConnection::ExecuteStatement(const std::string& sql, dataset::TParams* params,
                                               bool keep, NDSHANDLE* cursor) {
  return RunCachedStatement(nullptr, sql, params, keep, cursor);
}

std::uint32_t TNdsConnection::ExecuteStatementWithOptions(const TStmtOptions& options,
                                                          const std::string& sql,
                                                          dataset::TParams* params, bool keep,
                                                          NDSHANDLE* cursor) {
  return RunCachedStatement(&options, sql, params, keep, cursor);
}

void TNdsConnection::CloseCachedStatements() {
  if (!statementCache_) return;
  auto& cache = *statementCache_;
  while (!cache.empty()) {
    // Taken out before closing: a failing close raises at once, and the
    // entries after it stay in the cache.
    std::unique_ptr<TStmtInfo> entry = std::move(cache.front());
    cache.erase(cache.begin());
    CheckEngineCode(nullptr, NdsCloseSQLStatement(entry->statement));
  }
}

int TNdsConnection::CachedStatementCount() const {
  return statementCache_ ? static_cast<int>(statementCache_->size()) : 0;
}

const TStmtInfo& TNdsConnection::CachedStatement(int index) const {
  if (!statementCache_ || index < 0 || index >= CachedStatementCount())
    throw dataset::EListError("List index out of bounds (" + std::to_string(index) + ")");
  return *(*statementCache_)[static_cast<std::size_t>(index)];
}

}  // namespace nds
