// Filter and search texts built or rewritten without a cursor.
#include "nds/ndsdata_filter_text.h"

#include <cctype>
#include <vector>

#include "nds/nce.h"

namespace nds {

namespace {

constexpr char kContains[] = "CONTAINS";
constexpr std::size_t kContainsLength = sizeof kContains - 1;
// Segments past this position never take part in an index match.
constexpr int kMaxMatchedSegments = 100;
// Longest field name a list element can name.
constexpr std::size_t kMaxFieldName = 128;

bool StartsWithContains(const std::string& text, std::size_t at) {
  if (text.size() - at <= kContainsLength) return false;
  for (std::size_t k = 0; k < kContainsLength; ++k)
    if (std::toupper(static_cast<unsigned char>(text[at + k])) != kContains[k]) return false;
  return true;
}

// The ")" that closes the "(" at `open`, skipping nested parentheses and
// text in single quotes, double quotes or square brackets; npos when the
// text ends first.
std::size_t MatchingParenthesis(const std::string& text, std::size_t open) {
  int depth = 0;
  for (std::size_t i = open; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\'' || c == '"' || c == '[') {
      const char close = c == '[' ? ']' : c;
      const std::size_t end = text.find(close, i + 1);
      if (end == std::string::npos) return std::string::npos;
      i = end;
    } else if (c == '(') {
      ++depth;
    } else if (c == ')' && --depth == 0) {
      return i;
    }
  }
  return std::string::npos;
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string TrimSpaces(const std::string& text) {
  std::size_t begin = 0, end = text.size();
  while (begin < end && text[begin] == ' ') ++begin;
  while (end > begin && text[end - 1] == ' ') --end;
  return text.substr(begin, end - begin);
}

std::vector<std::string> SplitList(const std::string& list) {
  std::vector<std::string> items;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = list.find(';', start);
    items.push_back(TrimSpaces(list.substr(start, end - start)));
    if (end == std::string::npos) return items;
    start = end + 1;
  }
}

// The text of a string value as an expression literal: double quotes
// around it, an inner double quote as a concatenated Chr(34).
std::string QuotedLiteral(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"')
      out += "\"+ Chr(34) + \"";
    else
      out += c;
  }
  return out + "\"";
}

}  // namespace

std::string StripPrefixAsterisks(const std::string& text, bool& exact) {
  exact = true;
  std::string t = text;
  bool inQuote = false;
  char quote = 0;
  std::size_t opened = 0;  // position of the opening quote
  std::size_t i = 0;
  while (i < t.size()) {
    const char c = t[i];
    if (!inQuote && StartsWithContains(t, i)) {
      std::size_t next = i + kContainsLength;
      while (next < t.size() && t[next] == ' ') ++next;
      if (next < t.size() && t[next] == '(') {
        const std::size_t close = MatchingParenthesis(t, next);
        i = close == std::string::npos ? next : close + 1;
      } else {
        i = next;
      }
      continue;
    }
    if (c == '"' || c == '\'') {
      if (!inQuote) {
        inQuote = true;
        quote = c;
        opened = i;
      } else if (c == quote) {
        inQuote = false;
      }
    } else if (c == '*' && inQuote && i + 1 < t.size() && t[i + 1] == quote) {
      std::size_t first = i;
      while (first > opened + 1 && t[first - 1] == '*') --first;
      if (first != opened + 1) {
        // The literal is a prefix: drop this asterisk, step over the
        // closing quote.
        t.erase(i, 1);
        exact = false;
        inQuote = false;
        i += 1;
        continue;
      }
    }
    ++i;
  }
  return t;
}

std::string FilterTerm(const std::string& name, std::uint16_t engineType, bool isNull,
                       const std::string& text, bool caseInsensitive) {
  if (isNull) return "(empty(" + name + "))";
  switch (engineType) {
    case NDS_LOGICAL:
      return "(" + name + "=" + (text == "T" ? ".TRUE." : ".FALSE.") + ")";
    case NDS_NUMERIC:
    case NDS_DOUBLE:
    case NDS_CURDOUBLE:
    case NDS_MONEY: {
      std::string number = text;
      for (char& c : number)
        if (c == ',') c = '.';
      return "(" + name + "=" + number + ")";
    }
    case NDS_DATE:
      return "(" + name + "=ctod(\"" + text + "\"))";
    case NDS_TIME:
      return "(" + name + "=ctot(\"" + text + "\"))";
    case NDS_TIMESTAMP:
    case NDS_MODTIME:
      return "(" + name + "=ctots(\"" + text + "\"))";
    case NDS_STRING:
    case NDS_CISTRING:
      if (caseInsensitive) return "(UPPER(" + name + ")=UPPER(" + QuotedLiteral(text) + "))";
      return "(" + name + "=" + QuotedLiteral(text) + ")";
    default:
      return "(" + name + "=" + text + ")";
  }
}

int ListPosition(const std::string& name, const std::string& list) {
  const std::string wanted = Upper(TrimSpaces(name));
  const std::vector<std::string> items = SplitList(list);
  for (std::size_t i = 0; i < items.size(); ++i)
    if (items[i].size() <= kMaxFieldName && Upper(items[i]) == wanted)
      return static_cast<int>(i) + 1;
  return 0;
}

std::string ListElement(int n, const std::string& list) {
  const std::vector<std::string> items = SplitList(list);
  if (n < 1 || n > static_cast<int>(items.size())) return {};
  return items[static_cast<std::size_t>(n) - 1];
}

bool IndexPrefixMatch(const std::string& indexFields, const std::string& searchFields,
                      std::string& lastSegment) {
  lastSegment.clear();
  std::vector<bool> marked(kMaxMatchedSegments + 1, false);
  int highest = 0;
  for (const std::string& name : SplitList(searchFields)) {
    const int position = ListPosition(name, indexFields);
    if (position == 0 || position > kMaxMatchedSegments) return false;
    marked[static_cast<std::size_t>(position)] = true;
    if (position > highest) highest = position;
  }
  for (int p = 1; p <= highest; ++p)
    if (!marked[static_cast<std::size_t>(p)]) return false;
  if (highest == 0) return false;
  lastSegment = Upper(ListElement(highest, indexFields));
  return true;
}

}  // namespace nds
