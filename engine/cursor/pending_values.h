// The values given to fields of the record being edited, by field index.
// A record's edits are made again for every record of a bulk append or
// edit, and the write looks each field up several times: values sit in a
// slot per field (found without a search; the slots stay from one record to
// the next), and the indexes given are kept in field order for walking.
#ifndef ENGINE_CURSOR_PENDING_VALUES_H
#define ENGINE_CURSOR_PENDING_VALUES_H

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

#include "engine/base/values.h"

namespace nce {

class PendingValues {
 public:
  // Walks the values given, in field order, as (field index, value) pairs.
  class const_iterator {
   public:
    const_iterator(const PendingValues* owner, std::vector<size_t>::const_iterator at)
        : owner_(owner), at_(at) {}
    std::pair<size_t, const Value&> operator*() const { return {*at_, owner_->values_[*at_]}; }
    const_iterator& operator++() {
      ++at_;
      return *this;
    }
    bool operator!=(const const_iterator& other) const { return at_ != other.at_; }

   private:
    const PendingValues* owner_;
    std::vector<size_t>::const_iterator at_;
  };

  const_iterator begin() const { return {this, given_.begin()}; }
  const_iterator end() const { return {this, given_.end()}; }
  bool empty() const { return given_.empty(); }

  // The value given to field `index`; null when none was. It stays in place
  // until the next Set or clear.
  const Value* Find(size_t index) const {
    return index < has_.size() && has_[index] ? &values_[index] : nullptr;
  }

  // Sets the value of field `index`, replacing one given before.
  void Set(size_t index, Value value) {
    if (index >= values_.size()) {
      values_.resize(index + 1);
      has_.resize(index + 1, 0);
    }
    values_[index] = std::move(value);
    if (has_[index]) return;
    has_[index] = 1;
    given_.insert(std::lower_bound(given_.begin(), given_.end(), index), index);
  }

  // Forgets every value given (and lets go of their bytes).
  void clear() {
    for (size_t index : given_) {
      has_[index] = 0;
      values_[index] = Value();
    }
    given_.clear();
  }

 private:
  std::vector<Value> values_;  // by field index; meaningful where has_ is set
  std::vector<char> has_;      // 1 where a value was given
  std::vector<size_t> given_;  // the indexes given, ascending
};

}  // namespace nce

#endif  // ENGINE_CURSOR_PENDING_VALUES_H
