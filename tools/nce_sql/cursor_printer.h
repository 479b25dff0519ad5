// Printing what the engine returns: a cursor's records as an aligned table,
// and the engine's last error as text.
#ifndef TOOLS_NCE_SQL_CURSOR_PRINTER_H
#define TOOLS_NCE_SQL_CURSOR_PRINTER_H

#include <ostream>
#include <string>

#include "nds/nce.h"

namespace nce_sql {

// How result sets print: an aligned table (a NULL for empty fields and
// "<n bytes>" for binary ones), or CSV after RFC 4180 with a header line
// (empty fields unquoted and empty, texts quoted where they must be,
// binary fields as \x and hexadecimal digits).
enum class OutputMode { kTable, kCsv };

// Prints every record of `cursor` from the top. False when the engine
// refuses a step; its error is then EngineErrorText().
bool PrintCursor(NDSHANDLE cursor, std::ostream& out, OutputMode mode = OutputMode::kTable);

// The text of the engine's last error.
std::string EngineErrorText();

// The number of the engine's last error (0 when none can be read).
uint32_t EngineErrorNumber();

}  // namespace nce_sql

#endif  // TOOLS_NCE_SQL_CURSOR_PRINTER_H
