// The table the example shows: crew members with a name, a date of birth,
// an active flag and notes. A crew member needs a name: the name field is
// required, so that the dataset refuses a record without one.
#ifndef EXAMPLES_QT_FORM_DEMO_TABLE_H_
#define EXAMPLES_QT_FORM_DEMO_TABLE_H_

#include <string>

#include "nds/ndstable.h"

namespace qtform {

// Makes the crew table with five members in the database in directory
// `dir`, unless it has one already. Raises the components' errors.
void MakeDemoTable(const std::string& dir);

// Opens `query` live on the crew table of `dir`, with the
// name required.
void OpenCrew(nds::TNdsQuery& query, const std::string& dir);

// The values `select` yields in `dir`, one row a line, fields separated by
// "|", through a query of its own (not the dataset being edited).
std::string Stored(const std::string& dir, const std::string& select);

}  // namespace qtform

#endif  // EXAMPLES_QT_FORM_DEMO_TABLE_H_
