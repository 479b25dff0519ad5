#include "tools/nce_sql/result_table.h"

#include <algorithm>

namespace nce_sql {

size_t DisplayWidth(const std::string& text) {
  size_t width = 0;
  for (unsigned char c : text) width += (c & 0xC0) != 0x80;
  return width;
}

ResultTable::ResultTable(std::vector<std::string> headers, std::vector<bool> right_aligned)
    : headers_(std::move(headers)), right_aligned_(std::move(right_aligned)) {
  right_aligned_.resize(headers_.size(), false);
}

void ResultTable::AddRow(std::vector<std::string> row) {
  row.resize(headers_.size());
  rows_.push_back(std::move(row));
}

void ResultTable::Print(std::ostream& out) const {
  std::vector<size_t> widths(headers_.size());
  for (size_t c = 0; c < headers_.size(); ++c) {
    widths[c] = DisplayWidth(headers_[c]);
    for (const auto& row : rows_) widths[c] = std::max(widths[c], DisplayWidth(row[c]));
  }
  auto line = [&](const std::vector<std::string>& entries, bool header) {
    std::string text;
    for (size_t c = 0; c < entries.size(); ++c) {
      std::string pad(widths[c] - DisplayWidth(entries[c]), ' ');
      if (c) text += " | ";
      bool right = right_aligned_[c] && !header;
      text += right ? pad + entries[c] : entries[c] + pad;
    }
    // No trailing blanks, also after an empty last entry.
    text.erase(text.find_last_not_of(' ') + 1);
    out << text << '\n';
  };
  line(headers_, true);
  for (size_t c = 0; c < widths.size(); ++c) out << (c ? "-+-" : "") << std::string(widths[c], '-');
  out << '\n';
  for (const auto& row : rows_) line(row, false);
  out << "(" << rows_.size() << (rows_.size() == 1 ? " row)" : " rows)") << '\n';
}

}  // namespace nce_sql
