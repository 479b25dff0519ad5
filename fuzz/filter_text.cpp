// Fuzz target: the rewriting of filter texts (prefix literals, CONTAINS
// arguments, quotes and brackets) and the search terms built from field
// values, over any text. The rewriting may only remove asterisks, and only
// when it says the text is no longer exact; a term must keep a string value
// inside one literal of the engine's language.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "nds/nce.h"
#include "nds/ndsdata_filter_text.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  bool exact = false;
  const std::string rewritten = nds::StripPrefixAsterisks(text, exact);
  Require(exact == (rewritten == text));
  Require(rewritten.size() <= text.size());
  // Removing characters keeps the rest in order: the result is the text
  // with some asterisks taken out.
  std::size_t at = 0;
  for (char c : text) {
    if (at < rewritten.size() && rewritten[at] == c)
      ++at;
    else
      Require(c == '*');
  }
  Require(at == rewritten.size());

  // A string term: the value's double quotes never end its literal early.
  const std::string term = nds::FilterTerm("NAME", NDS_STRING, false, text, size % 2 == 0);
  std::size_t quotes = 0;
  for (char c : term) quotes += c == '"';
  Require(quotes % 2 == 0);
  for (std::uint16_t type = 0; type <= NDS_MODTIME; ++type)
    nds::FilterTerm("F", type, size % 3 == 0, text, false);

  // Field lists: a match names a real element and only whole prefixes.
  const std::size_t split = size / 2;
  std::string last;
  if (nds::IndexPrefixMatch(text.substr(0, split), text.substr(split), last))
    Require(nds::ListPosition(last, text.substr(0, split)) > 0);
  nds::ListElement(static_cast<int>(size % 7), text);
  return 0;
}
