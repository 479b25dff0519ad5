#include "tools/nce_sql/session.h"

#include <string_view>
#include <vector>

#include "nce/script.h"
#include "tools/nce_sql/cursor_printer.h"

namespace nce_sql {

std::unique_ptr<Session> Session::Connect(const std::string& path, const std::string& user,
                                          const std::string& password, std::ostream& err) {
  NDSHANDLE connection = 0;
  // A path is a local database or a server's URI: either kind is allowed.
  if (NdsConnect60(path.c_str(), NDS_LOCAL_SERVER | NDS_REMOTE_SERVER, user.c_str(),
                   password.c_str(), 0, &connection) != NDS_SUCCESS) {
    const uint32_t number = EngineErrorNumber();
    err << "nce-sql: " << EngineErrorText() << '\n';
    if (number == NDS_E_LOGIN_FAILED && user.empty())
      err << "  This data dictionary checks logins: give a user with --user; the password\n"
             "  comes from NCE_PASSWORD or is asked for.\n";
    return nullptr;
  }
  NDSHANDLE statement = 0;
  if (NdsCreateSQLStatement(connection, &statement) != NDS_SUCCESS) {
    err << "nce-sql: " << EngineErrorText() << '\n';
    NdsDisconnect(connection);
    return nullptr;
  }
  return std::unique_ptr<Session>(new Session(connection, statement));
}

Session::~Session() {
  NdsCloseSQLStatement(statement_);
  NdsDisconnect(connection_);
}

bool Session::RunStatements(const std::string& text, std::ostream& out, std::ostream& err) {
  for (std::string_view piece : nce::SplitScript(text))
    if (!RunOne(std::string(piece), out, err)) return false;
  return true;
}

bool Session::RunOne(const std::string& sql, std::ostream& out, std::ostream& err) {
  NDSHANDLE cursor = 0;
  if (NdsExecuteSQLDirect(statement_, sql.c_str(), &cursor) != NDS_SUCCESS) {
    out.flush();  // what ran before comes first where both streams meet
    err << "nce-sql: " << EngineErrorText() << "\n  in: " << sql << '\n';
    return false;
  }
  if (cursor) {
    const bool printed = PrintCursor(cursor, out, mode_);
    if (!printed) {
      out.flush();
      err << "nce-sql: " << EngineErrorText() << "\n  in: " << sql << '\n';
    }
    NdsCloseTable(cursor);
    return printed;
  }
  uint32_t changed = 0;
  if (NdsGetRecordCount(statement_, NDS_IGNOREFILTERS, &changed) == NDS_SUCCESS)
    out << "(" << changed << (changed == 1 ? " row" : " rows") << " changed)\n";
  return true;
}

}  // namespace nce_sql
