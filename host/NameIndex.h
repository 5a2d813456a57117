// The model's index of mesh or material names, so that a find by name takes
// the same few steps however large the model is.
//
// Each name that some object carries has one slot in an open-addressed table,
// holding the lowest and the highest index of the objects that carry it (a
// find returns the lowest). The objects of one name are linked to each other
// in ascending order through their own nextSame/prevSame fields, so the index
// keeps no list of its own and a name costs one 12-byte slot.
#ifndef QM_NAME_INDEX_H
#define QM_NAME_INDEX_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

// A name as the host keeps it: at most 31 characters.
struct NameKey {
  static constexpr std::size_t kMax = 31;

  explicit NameKey(const char* name) {
    if (name == nullptr) return;
    const void* nul = std::memchr(name, 0, kMax);
    text = name;
    length = nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - name) : kMax;
    // A plain polynomial hash: names that differ only in their last
    // characters, as numbered names do ("L00LD00M00", "L00LD00M01", ...),
    // land in nearby slots, so that naming a model's meshes one after another
    // keeps touching the same few cache lines of the table.
    hash = 0;
    for (std::size_t n = 0; n < length; ++n) hash = hash * 31u + static_cast<unsigned char>(name[n]);
  }

  const char* text = "";
  std::size_t length = 0;
  std::uint32_t hash = 0;
};

// Object: a struct with `char name[32]` and `int nextSame, prevSame`.
template <typename Object>
class NameIndex {
 public:
  explicit NameIndex(const std::vector<Object*>& objects) : objects_(objects) {}

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
    Object& object = *objects_[static_cast<std::size_t>(index)];
    Slot& slot = slots_[Probe(key)];
    object.nextSame = object.prevSame = -1;
    if (slot.first == -1) {
      slot = Slot{key.hash, index, index};
      ++used_;
      return;
    }
    // Objects are mostly named in the order they were added: look from the
    // highest index down.
    int after = slot.last;
    while (after != -1 && after > index) after = At(after).prevSame;
    const int before = after == -1 ? slot.first : At(after).nextSame;
    object.prevSame = after;
    object.nextSame = before;
    if (after == -1) slot.first = index; else At(after).nextSame = index;
    if (before == -1) slot.last = index; else At(before).prevSame = index;
  }

  // Takes object `index`, which carries the name `key`, out.
  void Remove(const NameKey& key, int index) {
    if (slots_.empty()) return;
    const std::size_t at = Probe(key);
    Slot& slot = slots_[at];
    if (slot.first == -1) return;
    Object& object = At(index);
    if (object.prevSame == -1) slot.first = object.nextSame; else At(object.prevSame).nextSame = object.nextSame;
    if (object.nextSame == -1) slot.last = object.prevSame; else At(object.nextSame).prevSame = object.prevSame;
    object.nextSame = object.prevSame = -1;
    if (slot.first == -1) Vacate(at);
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
    int last;
  };

  Object& At(int index) const { return *objects_[static_cast<std::size_t>(index)]; }

  bool Carries(const Slot& slot, const NameKey& key) const {
    if (slot.hash != key.hash) return false;
    const char* name = At(slot.first).name;
    return std::strlen(name) == key.length && std::memcmp(name, key.text, key.length) == 0;
  }

  // The slot of `key`'s name, or the free slot where it would go. The table
  // is never more than half full, so a free slot is always found.
  std::size_t Probe(const NameKey& key) const {
    const std::size_t mask = slots_.size() - 1;
    std::size_t at = key.hash & mask;
    while (slots_[at].first != -1 && !Carries(slots_[at], key)) at = (at + 1) & mask;
    return at;
  }

  void Rehash(std::size_t size) {
    std::vector<Slot> old(size, Slot{0, -1, -1});
    old.swap(slots_);
    const std::size_t mask = size - 1;
    for (const Slot& slot : old) {
      if (slot.first == -1) continue;
      std::size_t at = slot.hash & mask;
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
      const std::size_t home = slots_[next].hash & mask;
      // Slot `next` may move to `at` unless its home lies in (at, next].
      const bool homeBetween = at <= next ? (at < home && home <= next) : (at < home || home <= next);
      if (!homeBetween) {
        slots_[at] = slots_[next];
        at = next;
      }
    }
    slots_[at] = Slot{0, -1, -1};
    --used_;
  }

  const std::vector<Object*>& objects_;
  std::vector<Slot> slots_;
  std::size_t used_ = 0;
};

#endif  // QM_NAME_INDEX_H
