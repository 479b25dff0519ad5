// What a table's index orders read, followed through changes of its
// columns: the orders' key and condition texts name fields, which the
// store's own index definitions follow by themselves.
#ifndef ENGINE_INDEX_ORDER_FIELDS_H
#define ENGINE_INDEX_ORDER_FIELDS_H

#include <string>

#include "engine/storage/store_session.h"

namespace nce {

// Renames field `from` to `to` in the key and condition of every order of
// `table` in the catalog, inside the caller's transaction. Throws
// NDS_E_NOT_SUPPORTED, changing nothing, when an order reads the field and
// `to` is no name the expression language can write.
void RenameFieldInOrders(StoreSession& session, const std::string& table, const std::string& from,
                         const std::string& to);

}  // namespace nce

#endif  // ENGINE_INDEX_ORDER_FIELDS_H
