// The archive repair script as the repair window stores it: read from the
// window's stored description (app/repair_window_form.txt), so that the
// script exists in one place only.
#ifndef TESTS_SUPPORT_REPAIR_SCRIPT_H
#define TESTS_SUPPORT_REPAIR_SCRIPT_H

#include <string>
#include <vector>

namespace test_support {

// The lines of the repair query's SQL.Strings, in order (125 of them).
// Raises std::runtime_error when the description cannot be read or holds no
// such query.
const std::vector<std::string>& RepairScriptLines();

// The text the query hands the engine: every line followed by a carriage
// return and a line feed.
std::string RepairScriptText();

}  // namespace test_support

#endif  // TESTS_SUPPORT_REPAIR_SCRIPT_H
