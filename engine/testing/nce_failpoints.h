// Test support inside the engine: failpoints that make a named engine
// function fail, and read-back of state a test cannot observe through the
// C interface. Tests of every layer include this header; programs never do.
//
// A failpoint armed for "NdsBeginTransaction" makes the next `count` calls of
// that function return `code` at once, with `text` as the last error, before
// the function does anything. Unarmed failpoints cost one relaxed atomic load
// per engine call.
#ifndef ENGINE_TESTING_NCE_FAILPOINTS_H
#define ENGINE_TESTING_NCE_FAILPOINTS_H

#include <cstdint>
#include <string>

#include "engine/sql/statement_options.h"
#include "nce/nce.h"

namespace nce::testing {

// Arms `function` (an engine function name such as "NdsExecuteSQL") to fail
// its next `count` calls with `code` and `text`. Re-arming replaces.
void ArmFailpoint(const std::string& function, uint32_t code, const std::string& text,
                  int count = 1);
void DisarmAllFailpoints();
// Calls of `function` failed by its failpoint since it was armed.
int FailpointHits(const std::string& function);

// Disarms every failpoint when it goes out of scope.
class FailpointGuard {
 public:
  FailpointGuard() = default;
  ~FailpointGuard() { DisarmAllFailpoints(); }
  FailpointGuard(const FailpointGuard&) = delete;
  FailpointGuard& operator=(const FailpointGuard&) = delete;
};

// The options a statement was given through the NdsStmtSet* functions.
using StatementOptions = nce::StatementOptions;

// Fills `options` for a statement handle; false when the handle is not a
// statement.
bool GetStatementOptions(NDSHANDLE statement, StatementOptions* options);

// The text last prepared (or executed directly) on a statement.
bool GetStatementText(NDSHANDLE statement, std::string* text);

// Busy timeout for connections opened from now on, in milliseconds.
void SetBusyTimeout(int milliseconds);
int BusyTimeout();

// Imports into a server from now on send their rows in COPY's text format
// (true) or its binary one (false, the default).
void SetServerCopyAsText(bool text);

// Adds a user (or replaces his password and groups, ";"-separated) to the
// data dictionary file `dictionary`, which a connect has opened once before;
// from then on the dictionary checks logins. False when the file cannot be
// written.
bool SetDictionaryUser(const std::string& dictionary, const std::string& user,
                       const std::string& password, const std::string& groups);

// Number of live handles of every kind; lets tests find leaks.
size_t LiveHandleCount();

}  // namespace nce::testing

#endif  // ENGINE_TESTING_NCE_FAILPOINTS_H
