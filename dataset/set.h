// TSet: a set of members of one enumeration, held as a bit mask. Used for
// component state, option sets and the set-valued stored properties.
#ifndef DATASET_SET_H
#define DATASET_SET_H

#include <cstdint>
#include <initializer_list>

namespace dataset {

// E must be an enumeration whose members have values 0 to 63.
template <typename E>
class TSet {
 public:
  constexpr TSet() = default;
  constexpr TSet(std::initializer_list<E> members) {
    for (E m : members) bits_ |= Bit(m);
  }
  static constexpr TSet FromMask(uint64_t mask) {
    TSet s;
    s.bits_ = mask;
    return s;
  }

  constexpr bool Contains(E m) const { return (bits_ & Bit(m)) != 0; }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr uint64_t Mask() const { return bits_; }

  constexpr TSet& Include(E m) {
    bits_ |= Bit(m);
    return *this;
  }
  constexpr TSet& Exclude(E m) {
    bits_ &= ~Bit(m);
    return *this;
  }

  friend constexpr TSet operator+(TSet a, TSet b) { return FromMask(a.bits_ | b.bits_); }
  friend constexpr TSet operator-(TSet a, TSet b) { return FromMask(a.bits_ & ~b.bits_); }
  friend constexpr TSet operator*(TSet a, TSet b) { return FromMask(a.bits_ & b.bits_); }
  friend constexpr bool operator==(TSet a, TSet b) { return a.bits_ == b.bits_; }

 private:
  static constexpr uint64_t Bit(E m) { return uint64_t{1} << static_cast<unsigned>(m); }

  uint64_t bits_ = 0;  // One bit per member, bit n for the member of value n
};

}  // namespace dataset

#endif  // DATASET_SET_H
