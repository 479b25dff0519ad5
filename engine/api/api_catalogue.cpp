// Engine functions of the catalogue and the server: table searches by mask
// over the database's tables, and the server's clock.
#include <fnmatch.h>

#include <chrono>
#include <cstdio>
#include <ctime>

#include "engine/api/api_support.h"
#include "engine/api/find_handle.h"
#include "engine/base/sql_text.h"
#include "engine/schema/catalog.h"
#include "engine/storage/store.h"
#include "engine/storage/store_catalog.h"

using namespace nce;

namespace {

// The file name a table would have: NDT tables "name.ndt", DBF-kind tables
// "name.dbf".
std::string TableFileName(const std::string& name, int64_t table_type) {
  return name + (table_type == NDS_NDT ? ".ndt" : ".dbf");
}

// Tables whose file names match the file part of `mask` ("" or no file
// part: every table), as pairs of table name and file name.
std::vector<std::pair<std::string, std::string>> MatchTables(Connection& connection,
                                                             const std::string& mask) {
  std::string normal = NormalisePath(mask);
  size_t slash = normal.rfind('/');
  std::string pattern = slash == std::string::npos ? normal : normal.substr(slash + 1);
  if (pattern.empty()) pattern = "*";
  std::vector<std::pair<std::string, std::string>> found;
  for (const auto& [name, table_type] : StoreTablesWithTypes(connection)) {
    if (IsReservedName(name)) continue;
    std::string file = TableFileName(name, table_type);
    bool all = pattern == "*" || pattern == "*.*";
    if (all || fnmatch(pattern.c_str(), file.c_str(), FNM_CASEFOLD) == 0)
      found.emplace_back(name, file);
  }
  return found;
}

std::shared_ptr<FindHandle> RequireSearch(NDSHANDLE connection, NDSHANDLE find) {
  auto search = HandleTable::Instance().FindAs<FindHandle>(find, ObjectKind::kFind);
  if (!search || search->connection() != connection)
    throw EngineError(NDS_E_INVALID_HANDLE,
                      "Handle " + std::to_string(find) + " is not a search of this connection.");
  return search;
}

// The next table of a search into one or two buffers.
NDSRESULT NextTable(NDSHANDLE connection, NDSHANDLE find, char* name1, uint16_t* length1,
                    char* name2, uint16_t* length2) {
  std::shared_ptr<FindHandle> search = RequireSearch(connection, find);
  std::pair<std::string, std::string> names;
  if (!search->Next(&names)) throw EngineError(NDS_E_NO_MORE_TABLES, "No more tables.");
  NDSRESULT rc = CopyOut(names.first, name1, length1);
  if (length2) rc = CopyOut(names.second, name2, length2);
  return rc;
}

NDSRESULT FirstTable(const char* function, NDSHANDLE handle, const char* mask, char* name1,
                     uint16_t* length1, char* name2, uint16_t* length2, NDSHANDLE* find) {
  return Guarded(function, [&] {
    RequireArgument(find, "find handle");
    *find = 0;
    std::shared_ptr<Connection> connection = RequireConnection(handle);
    RecursiveLockGuard lock(connection->mutex());
    auto tables = MatchTables(*connection, mask ? mask : "");
    if (tables.empty())
      throw EngineError(NDS_E_NO_MORE_TABLES,
                        "No table matches " + std::string(mask ? mask : "") + ".");
    NDSHANDLE id =
        HandleTable::Instance().Add(std::make_shared<FindHandle>(handle, std::move(tables)));
    *find = id;
    return NextTable(handle, id, name1, length1, name2, length2);
  });
}

}  // namespace

extern "C" {

NDSRESULT NdsFindFirstTable(NDSHANDLE connection, const char* mask, char* name, uint16_t* length,
                            NDSHANDLE* find) {
  return FirstTable("NdsFindFirstTable", connection, mask, name, length, nullptr, nullptr, find);
}

NDSRESULT NdsFindNextTable(NDSHANDLE connection, NDSHANDLE find, char* name, uint16_t* length) {
  return Guarded("NdsFindNextTable", [&] {
    std::shared_ptr<Connection> c = RequireConnection(connection);
    RecursiveLockGuard lock(c->mutex());
    return NextTable(connection, find, name, length, nullptr, nullptr);
  });
}

// The two names of a table: its name, and its file name with extension.
NDSRESULT NdsFindFirstTable62(NDSHANDLE connection, const char* mask, char* name1,
                              uint16_t* length1, char* name2, uint16_t* length2, NDSHANDLE* find) {
  return FirstTable("NdsFindFirstTable62", connection, mask, name1, length1, name2, length2, find);
}

NDSRESULT NdsFindNextTable62(NDSHANDLE connection, NDSHANDLE find, char* name1, uint16_t* length1,
                             char* name2, uint16_t* length2) {
  return Guarded("NdsFindNextTable62", [&] {
    RequireArgument(length2, "second length");
    std::shared_ptr<Connection> c = RequireConnection(connection);
    RecursiveLockGuard lock(c->mutex());
    return NextTable(connection, find, name1, length1, name2, length2);
  });
}

NDSRESULT NdsFindClose(NDSHANDLE connection, NDSHANDLE find) {
  return Guarded("NdsFindClose", [&] {
    RequireConnection(connection);
    RequireSearch(connection, find);
    HandleTable::Instance().Remove(find);
    return NDS_SUCCESS;
  });
}

// The server's local date as "YYYYMMDD", milliseconds since midnight and
// the time as "HH:MM:SS".
NDSRESULT NdsGetServerTime(NDSHANDLE connection, char* date, uint16_t* dateLength,
                           int32_t* milliseconds, char* time, uint16_t* timeLength) {
  return Guarded("NdsGetServerTime", [&] {
    std::shared_ptr<Connection> c = RequireConnection(connection);
    RequireArgument(milliseconds, "milliseconds");
    {
      // A store with a clock of its own: every workstation gets the same time.
      RecursiveLockGuard lock(c->mutex());
      StoreSession::Clock clock;
      if (c->is_open() && c->LiveSession().ReadClock(&clock)) {
        *milliseconds = clock.milliseconds;
        NDSRESULT rc = CopyOut(clock.date, date, dateLength);
        if (time || timeLength) rc = CopyOut(clock.time, time, timeLength);
        return rc;
      }
    }
    auto now = std::chrono::system_clock::now();
    std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    int ms = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000);
    std::tm local{};
    localtime_r(&seconds, &local);
    char date_text[32], time_text[32];
    std::snprintf(date_text, sizeof date_text, "%04d%02d%02d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday);
    std::snprintf(time_text, sizeof time_text, "%02d:%02d:%02d", local.tm_hour, local.tm_min,
                  local.tm_sec);
    *milliseconds = ((local.tm_hour * 60 + local.tm_min) * 60 + local.tm_sec) * 1000 + ms;
    NDSRESULT rc = CopyOut(date_text, date, dateLength);
    if (time || timeLength) rc = CopyOut(time_text, time, timeLength);
    return rc;
  });
}

}  // extern "C"
