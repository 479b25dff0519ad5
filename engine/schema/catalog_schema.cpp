#include "engine/schema/catalog_schema.h"

namespace nce {

const std::string& DeletedMarksTable() {
  static const std::string name = std::string(kReservedPrefix) + "deleted";
  return name;
}

const std::string& RowVersionsTable() {
  static const std::string name = std::string(kReservedPrefix) + "row_versions";
  return name;
}

}  // namespace nce
