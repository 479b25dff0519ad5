// The connection's statement cache: prepared statements kept per SQL text by
// the connection's own statement execution, flushed on commit, rollback,
// disconnect and destruction.
#include "nds/ndscnnct.h"

namespace nds {

void TNdsConnection::CloseCachedStatements() {
  // The cache is created by the first statement the connection executes with
  // the keep flag; a connection that never kept one has nothing to close.
}

}  // namespace nds
