// The model's index of mesh or material names, so that a find by name takes
// the same few steps however large the model is.
//
// Each name that some object carries has one slot in an open-addressed table,
// holding the lowest index of the objects that carry it, which a find
// returns. The objects of one name are linked to each other in ascending
// order through their own nextSame/prevSame fields; the first one's prevSame
// is the last one. So the index keeps no list of its own and a name costs one
// 8-byte slot.
#ifndef QM_NAME_INDEX_H
#define QM_NAME_INDEX_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "MemoryBudget.h"

// The multiplier of the name hash: odd, and drawn once per process, since
// names come from files and a file made to put many names in one slot would
// make every look-up walk them all.
inline std::uint32_t NameHashMultiplier() {
  static const std::uint32_t multiplier = [] {
    std::uint32_t bits = 0x9E3779B1u;
    try {
      std::random_device source;
      bits = static_cast<std::uint32_t>(source());
    } catch (...) {
      // No source of randomness: the fixed multiplier still hashes well.
    }
    return bits | 1u;
  }();
  return multiplier;
}

// A name as the host keeps it, at most 31 characters, with its hash: a
// polynomial in the name's bytes with the process's multiplier.
struct NameKey {
  static constexpr std::size_t kMax = 31;

  NameKey(const char* name, std::uint32_t multiplier) {
    if (name == nullptr) return;
    const void* nul = std::memchr(name, 0, kMax);
    text = name;
    length = nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - name) : kMax;
    for (std::size_t n = 0; n < length; ++n)
      hash = hash * multiplier + static_cast<unsigned char>(name[n]);
  }

  // Whether `stored`, a name as an object keeps it, is this name.
  bool Names(const char* stored) const {
    return std::strlen(stored) == length && std::memcmp(stored, text, length) == 0;
  }

  const char* text = "";
  std::size_t length = 0;
  std::uint32_t hash = 0;
};

// The model's list of its meshes or materials, in index order.
template <typename Object>
using ObjectList = std::vector<Object*, BudgetAllocator<Object*>>;

// Object: a struct with `char name[32]` and `int nextSame, prevSame`. The
// table's memory counts against `budget`.
template <typename Object>
class NameIndex {
 public:
  NameIndex(const ObjectList<Object>& objects, MemoryBudget& budget)
      : objects_(objects), slots_(BudgetAllocator<Slot>(budget)) {}

  NameKey Key(const char* name) const { return NameKey(name, multiplier_); }

  int Find(const NameKey& key) const {
    if (slots_.empty()) return -1;
    const Slot& slot = slots_[Probe(key)];
    return slot.first;
  }

  // Makes room for one more name, so that Add cannot fail afterwards.
  void Reserve() {
    if (2 * (used_ + 1) > slots_.size()) Rehash(slots_.empty() ? 16 : 2 * slots_.size());
  }

  // Enters object `index`, which carries the name `key`; Reserve first.
  void Add(const NameKey& key, int index) {
    Object& object = At(index);
    Slot& slot = slots_[Probe(key)];
    object.nextSame = -1;
    if (slot.first == -1) {
      slot = Slot{key.hash, index};
      object.prevSame = index;  // the first carrier's prevSame: the last one
      ++used_;
      return;
    }
    Object& first = At(slot.first);
    const int last = first.prevSame;
    if (index > last) {  // objects are mostly named in the order they were added
      At(last).nextSame = index;
      object.prevSame = last;
      first.prevSame = index;
    } else if (index < slot.first) {
      object.nextSame = slot.first;
      object.prevSame = last;
      first.prevSame = index;
      slot.first = index;
    } else {
      // Between the first and the last: look from the last down.
      int after = last;
      while (after > index) after = At(after).prevSame;
      const int before = At(after).nextSame;
      object.prevSame = after;
      object.nextSame = before;
      At(after).nextSame = index;
      At(before).prevSame = index;
    }
  }

  // Takes object `index`, which carries the name `key`, out.
  void Remove(const NameKey& key, int index) {
    if (slots_.empty()) return;
    const std::size_t at = Probe(key);
    Slot& slot = slots_[at];
    if (slot.first == -1) return;
    Object& object = At(index);
    const int next = object.nextSame;
    if (index == slot.first) {
      if (next == -1) {
        Vacate(at);
      } else {
        At(next).prevSame = object.prevSame;  // the last carrier moves to the new first
        slot.first = next;
      }
    } else {
      At(object.prevSame).nextSame = next;
      if (next == -1)
        At(slot.first).prevSame = object.prevSame;  // it was the last
      else
        At(next).prevSame = object.prevSame;
    }
    object.nextSame = object.prevSame = -1;
  }

  void Clear() {
    slots_.clear();
    slots_.shrink_to_fit();
    used_ = 0;
  }

 private:
  struct Slot {
    std::uint32_t hash;
    int first;  // -1: the slot is free
  };

  Object& At(int index) const { return *objects_[static_cast<std::size_t>(index)]; }

  bool Carries(const Slot& slot, const NameKey& key) const {
    return slot.hash == key.hash && key.Names(At(slot.first).name);
  }

  // Where a name's search starts: the top bits of the hash times 2^32/phi.
  // Names that differ in one character, as the import's numbered names do
  // ("L00LD00M00", "L00LD00M01", ...), have hashes a small step apart; this
  // spreads them evenly, where the hash's own low bits would line them up in
  // runs that every search then has to walk.
  std::size_t Home(std::uint32_t hash) const {
    return static_cast<std::uint32_t>(hash * 2654435769u) >> shift_;
  }

  // The slot of `key`'s name, or the free slot where it would go. The table
  // is never more than half full, so a free slot is always found.
  std::size_t Probe(const NameKey& key) const {
    const std::size_t mask = slots_.size() - 1;
    std::size_t at = Home(key.hash);
    while (slots_[at].first != -1 && !Carries(slots_[at], key)) at = (at + 1) & mask;
    return at;
  }

  void Rehash(std::size_t size) {
    SlotList old(size, Slot{0, -1}, slots_.get_allocator());
    old.swap(slots_);
    unsigned bits = 0;
    while ((std::size_t{1} << bits) < size) ++bits;
    shift_ = 32 - bits;
    const std::size_t mask = size - 1;
    for (const Slot& slot : old) {
      if (slot.first == -1) continue;
      std::size_t at = Home(slot.hash);
      while (slots_[at].first != -1) at = (at + 1) & mask;
      slots_[at] = slot;
    }
  }

  // Frees slot `at`, moving back the slots after it that it would otherwise
  // cut off from their home.
  void Vacate(std::size_t at) {
    const std::size_t mask = slots_.size() - 1;
    std::size_t next = at;
    for (;;) {
      next = (next + 1) & mask;
      if (slots_[next].first == -1) break;
      const std::size_t home = Home(slots_[next].hash);
      // Slot `next` may move to `at` unless its home lies in (at, next].
      const bool homeBetween = at <= next ? (at < home && home <= next) : (at < home || home <= next);
      if (!homeBetween) {
        slots_[at] = slots_[next];
        at = next;
      }
    }
    slots_[at] = Slot{0, -1};
    --used_;
  }

  using SlotList = std::vector<Slot, BudgetAllocator<Slot>>;

  const ObjectList<Object>& objects_;
  const std::uint32_t multiplier_ = NameHashMultiplier();
  SlotList slots_;  // a power of two of them, at least 16, or none
  unsigned shift_ = 32;      // 32 - log2 of their number
  std::size_t used_ = 0;
};

#endif  // QM_NAME_INDEX_H
