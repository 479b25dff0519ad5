#include "engine/interchange/table_rows.h"

namespace nce {

std::string PlacedMessage(const FilePlace& place, const char* row_word, const char* column_word,
                          const std::string& what) {
  std::string text = place.file;
  if (place.row != 0) text += std::string(": ") + row_word + " " + std::to_string(place.row);
  if (!place.column.empty())
    text += std::string(place.row != 0 ? ", " : ": ") + column_word + " " + place.column;
  return text + ": " + what;
}

}  // namespace nce
