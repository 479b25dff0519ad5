#include "dataset/database_error.h"

#include "dataset/component.h"
#include "dataset/exceptions.h"

namespace dataset {

void DatabaseError(const std::string& message, const TComponent* component) {
  if (component && !component->Name().empty())
    throw EDatabaseError(component->Name() + ": " + message);
  throw EDatabaseError(message);
}

}  // namespace dataset
