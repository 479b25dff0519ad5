// Raising EDatabaseError the framework's way: a message about a component
// is prefixed with the component's name ("NdsQuery1: Parameter 'x' not
// found") when it has one.
#ifndef DATASET_DATABASE_ERROR_H
#define DATASET_DATABASE_ERROR_H

#include <string>

namespace dataset {

class TComponent;

// Raises EDatabaseError with `message`, prefixed with "<Name>: " when
// `component` is given and has a name.
[[noreturn]] void DatabaseError(const std::string& message, const TComponent* component = nullptr);

}  // namespace dataset

#endif  // DATASET_DATABASE_ERROR_H
