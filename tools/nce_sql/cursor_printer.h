// Printing what the engine returns: a cursor's records as an aligned table,
// and the engine's last error as text.
#ifndef TOOLS_NCE_SQL_CURSOR_PRINTER_H
#define TOOLS_NCE_SQL_CURSOR_PRINTER_H

#include <ostream>
#include <string>

#include "nds/nce.h"

namespace nce_sql {

// Prints every record of `cursor` from the top, a NULL for empty fields and
// "<n bytes>" for binary ones. False when the engine refuses a step; its
// error is then EngineErrorText().
bool PrintCursor(NDSHANDLE cursor, std::ostream& out);

// The text of the engine's last error.
std::string EngineErrorText();

// The number of the engine's last error (0 when none can be read).
uint32_t EngineErrorNumber();

}  // namespace nce_sql

#endif  // TOOLS_NCE_SQL_CURSOR_PRINTER_H
