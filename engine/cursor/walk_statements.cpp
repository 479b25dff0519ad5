#include "engine/cursor/walk_statements.h"

#include <algorithm>
#include <utility>

namespace nce {

struct WalkStatements::Kept {
  explicit Kept(WalkShape s) : shape(std::move(s)), sql(shape.walk) {}
  Kept(const Kept&) = delete;
  Kept& operator=(const Kept&) = delete;

  WalkShape shape;    // what the statements are built from
  NavigationSql sql;  // their texts
  std::unique_ptr<WalkStatement> stmts[static_cast<int>(WalkStep::kCount_)];  // on first use
  bool tables_sure = false;                                                   // see tables_sure()
};

WalkStatements::WalkStatements() = default;
WalkStatements::~WalkStatements() = default;

bool WalkStatements::Use(WalkShape shape) {
  auto same = std::find_if(kept_.begin(), kept_.end(),
                           [&](const std::unique_ptr<Kept>& k) { return k->shape == shape; });
  if (same != kept_.end()) {
    std::rotate(kept_.begin(), same, same + 1);
    return true;
  }
  kept_.insert(kept_.begin(), std::make_unique<Kept>(std::move(shape)));
  if (kept_.size() > kKeptShapes) kept_.pop_back();
  return false;
}

const WalkShape& WalkStatements::shape() const {
  return kept_.front()->shape;
}

const NavigationSql& WalkStatements::sql() const {
  return kept_.front()->sql;
}

bool WalkStatements::tables_sure() const {
  return kept_.front()->tables_sure;
}

void WalkStatements::set_tables_sure(bool sure) {
  kept_.front()->tables_sure = sure;
}

WalkStatement& WalkStatements::Get(WalkStep step) {
  Kept& kept = *kept_.front();
  std::unique_ptr<WalkStatement>& stmt = kept.stmts[static_cast<int>(step)];
  if (stmt) return *stmt;
  const NavigationSql& sql = kept.sql;
  std::string text;
  switch (step) {
    case WalkStep::kFirst:
      text = sql.First();
      break;
    case WalkStep::kLast:
      text = sql.Last();
      break;
    case WalkStep::kAfter:
      text = sql.After();
      break;
    case WalkStep::kBefore:
      text = sql.Before();
      break;
    case WalkStep::kByRowid:
      text = sql.ByRowid();
      break;
    case WalkStep::kVisible:
      text = sql.Visible();
      break;
    case WalkStep::kVisibleRow:
      text = sql.VisibleRow();
      break;
    case WalkStep::kCount:
      text = sql.Count();
      break;
    case WalkStep::kCountAll:
      text = sql.CountWhere(kept.shape.all_rows_where);
      break;
    case WalkStep::kCountScoped:
      text = sql.CountWhere(kept.shape.scoped_rows_where);
      break;
    case WalkStep::kCountBefore:
      text = sql.CountBefore();
      break;
    case WalkStep::kAtOffset:
      text = sql.AtOffset();
      break;
    case WalkStep::kCount_:
      break;
  }
  stmt = std::make_unique<WalkStatement>(*kept.shape.session, text);
  return *stmt;
}

void WalkStatements::Clear() {
  kept_.clear();
}

}  // namespace nce
