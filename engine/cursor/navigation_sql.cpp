#include "engine/cursor/navigation_sql.h"

#include <utility>

namespace nce {

NavigationSql::NavigationSql(WalkSpec shape) : spec_(std::move(shape)) {}

std::string NavigationSql::Select() const {
  std::string sql = "SELECT rowid";
  if (!spec_.key.empty()) sql += ", " + spec_.key;
  if (!spec_.columns.empty()) sql += ", " + spec_.columns;
  return sql + " FROM " + spec_.from;
}

std::string NavigationSql::RowColumns() const {
  std::string sql = "rowid";
  if (!spec_.key.empty()) sql += ", " + spec_.key;
  if (!spec_.columns.empty()) sql += ", " + spec_.columns;
  return sql;
}

std::string NavigationSql::Returning() const {
  return " RETURNING " + RowColumns();
}

std::string NavigationSql::Where(const std::string& step) const {
  std::string where;
  if (!step.empty()) where = step;
  if (!spec_.condition.empty()) {
    if (!where.empty()) where += " AND ";
    where += "(" + spec_.condition + ")";
  }
  return where.empty() ? std::string() : " WHERE " + where;
}

std::string NavigationSql::Order(bool backward) const {
  bool down = spec_.descending != backward;
  const char* dir = down ? " DESC" : "";
  if (spec_.key.empty()) return std::string(" ORDER BY rowid") + dir;
  return " ORDER BY " + spec_.key + dir + ", rowid" + dir;
}

std::string NavigationSql::First() const {
  return Select() + Where("") + Order(false) + " LIMIT ?103";
}

std::string NavigationSql::Last() const {
  return Select() + Where("") + Order(true) + " LIMIT ?103";
}

// A step forward in the walking direction: beyond (key, rowid) in the order.
std::string NavigationSql::After() const {
  const char* gt = spec_.descending ? "<" : ">";
  std::string step;
  if (spec_.key.empty()) {
    step = std::string("rowid ") + gt + " ?102";  // ?101 (the key) stays unused
  } else {
    step = spec_.key + " " + gt + "= ?101 AND (" + spec_.key + " " + gt + " ?101 OR rowid " + gt +
           " ?102)";
  }
  return Select() + Where(step) + Order(false) + " LIMIT ?103";
}

std::string NavigationSql::Before() const {
  const char* lt = spec_.descending ? ">" : "<";
  std::string step;
  if (spec_.key.empty()) {
    step = std::string("rowid ") + lt + " ?102";
  } else {
    step = spec_.key + " " + lt + "= ?101 AND (" + spec_.key + " " + lt + " ?101 OR rowid " + lt +
           " ?102)";
  }
  return Select() + Where(step) + Order(true) + " LIMIT ?103";
}

std::string NavigationSql::ByRowid() const {
  return Select() + " WHERE rowid = ?102";
}

std::string NavigationSql::Visible() const {
  return "SELECT 1 FROM " + spec_.from + Where("rowid = ?102");
}

std::string NavigationSql::VisibleRow() const {
  return Select() + Where("rowid = ?102");
}

std::string NavigationSql::Count() const {
  return "SELECT count(*) FROM " + spec_.from + Where("");
}

std::string NavigationSql::CountWhere(const std::string& condition) const {
  if (condition.empty()) return "SELECT count(*) FROM " + spec_.from;
  return "SELECT count(*) FROM " + spec_.from + " WHERE (" + condition + ")";
}

std::string NavigationSql::AtOffset() const {
  return Select() + Where("") + Order(false) + " LIMIT 1 OFFSET ?104";
}

std::string NavigationSql::CountBefore() const {
  const char* lt = spec_.descending ? ">" : "<";
  std::string step;
  if (spec_.key.empty()) {
    step = std::string("rowid ") + lt + " ?102";
  } else {
    step = "(" + spec_.key + " " + lt + " ?101 OR (" + spec_.key + " = ?101 AND rowid " + lt +
           " ?102))";
  }
  return "SELECT count(*) FROM " + spec_.from + Where(step);
}

}  // namespace nce
