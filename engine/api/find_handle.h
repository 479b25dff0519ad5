// Find handles: the answers of a table or dictionary object search, handed
// out one at a time by the Find...Next functions until they are used up.
#ifndef ENGINE_API_FIND_HANDLE_H
#define ENGINE_API_FIND_HANDLE_H

#include <string>
#include <utility>
#include <vector>

#include "engine/base/handles.h"

namespace nce {

class FindHandle : public Object {
 public:
  FindHandle(NDSHANDLE connection, std::vector<std::pair<std::string, std::string>> names)
      : Object(ObjectKind::kFind), connection_(connection), names_(std::move(names)) {}

  NDSHANDLE connection() const { return connection_; }
  // The next pair of names; false when none is left.
  bool Next(std::pair<std::string, std::string>* names) {
    if (next_ >= names_.size()) return false;
    *names = names_[next_++];
    return true;
  }

 private:
  NDSHANDLE connection_;                                    // connection that searched
  std::vector<std::pair<std::string, std::string>> names_;  // the answers
  size_t next_ = 0;                                         // next answer
};

}  // namespace nce

#endif  // ENGINE_API_FIND_HANDLE_H
