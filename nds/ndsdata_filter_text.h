// Texts of filters and searches that need no cursor: the asterisk rewriting
// of a filter text, one term of a search expression, and the matching of a
// search field list against an index's field list.
#ifndef NDS_NDSDATA_FILTER_TEXT_H_
#define NDS_NDSDATA_FILTER_TEXT_H_

#include <cstdint>
#include <string>

namespace nds {

// A filter text with every quoted literal that ends in "*" (and holds more
// than asterisks) cut before that asterisk. `exact` starts true and turns
// false when a literal was cut: the engine then matches such literals as
// prefixes. The arguments of CONTAINS(...) keep their asterisks.
std::string StripPrefixAsterisks(const std::string& text, bool& exact);

// One comparison of a search expression: the field `name` of engine type
// `engineType` against the value whose text is `text` (ignored when
// `isNull`; "T" for a true logical value). Strings compare through UPPER on both sides when
// `caseInsensitive`; a double quote inside a string travels as Chr(34).
std::string FilterTerm(const std::string& name, std::uint16_t engineType, bool isNull,
                       const std::string& text, bool caseInsensitive);

// Position (1-based) of `name` in the semicolon-separated `list`, letter case
// and spaces around elements ignored; 0 when it is not there.
int ListPosition(const std::string& name, const std::string& list);
// The `n`-th (1-based) element of a semicolon-separated list, spaces around
// it removed; empty when the list is shorter.
std::string ListElement(int n, const std::string& list);

// Whether the search fields are exactly the leading segments of an index
// with the field list `indexFields`, in any order (at most the first 100
// segments count). `lastSegment` gets the upper-cased name of the last
// segment the search uses.
bool IndexPrefixMatch(const std::string& indexFields, const std::string& searchFields,
                      std::string& lastSegment);

}  // namespace nds

#endif  // NDS_NDSDATA_FILTER_TEXT_H_
