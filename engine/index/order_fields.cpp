#include "engine/index/order_fields.h"

#include <cctype>
#include <vector>

#include "engine/base/errors.h"
#include "engine/expr/expr_tree.h"

namespace nce {
namespace {

bool IsExpressionName(const std::string& name) {
  if (name.empty() || std::isdigit(static_cast<unsigned char>(name[0]))) return false;
  for (char c : name)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' &&
        static_cast<unsigned char>(c) < 0x80)
      return false;
  return true;
}

struct OrderTexts {
  std::string name, expression, condition;
};

}  // namespace

void RenameFieldInOrders(StoreSession& session, const std::string& table, const std::string& from,
                         const std::string& to) {
  std::vector<OrderTexts> orders;
  {
    auto read = session.Prepare(
        "SELECT order_name, expression, condition FROM _nce_index_orders WHERE table_name = ?1");
    read->Bind(1, Value::Text(table));
    while (read->Step())
      orders.push_back({read->Column(0).bytes, read->Column(1).bytes, read->Column(2).bytes});
  }
  bool changed = false;
  for (OrderTexts& order : orders) {
    std::string expression = RenameField(order.expression, from, to);
    std::string condition = RenameField(order.condition, from, to);
    if (expression == order.expression && condition == order.condition) {
      order.name.clear();  // left as it is
      continue;
    }
    if (!IsExpressionName(to))
      throw EngineError(NDS_E_NOT_SUPPORTED, "The order " + order.name + " reads the field " +
                                                 from + ", and its expression cannot name " + to +
                                                 ": delete the order first.");
    order.expression = std::move(expression);
    order.condition = std::move(condition);
    changed = true;
  }
  if (!changed) return;
  auto write = session.Prepare(
      "UPDATE _nce_index_orders SET expression = ?3, condition = ?4 WHERE table_name = ?1 AND "
      "order_name = ?2");
  write->Bind(1, Value::Text(table));
  for (const OrderTexts& order : orders) {
    if (order.name.empty()) continue;
    write->Bind(2, Value::Text(order.name));
    write->Bind(3, Value::Text(order.expression));
    write->Bind(4, Value::Text(order.condition));
    write->Step();
    write->Reset();
  }
}

}  // namespace nce
