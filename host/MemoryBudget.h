// What one model may hold of the general heap, and what it holds. Every block
// the model takes (arena blocks, full chunks of its lists, chunk tables, its
// object lists and name tables) goes through Take and Give, so the count is
// exact to the bytes asked for; the heap's own few bytes per block are not
// counted. Past the limit Take throws std::bad_alloc, as the heap does when
// the system has no memory left, and nothing is taken.
//
// Only whole blocks are counted, never single elements: an import appends
// about 256 elements per Take.
//
// Each model has its own budget and nothing is shared between models, so
// models built in different threads count independently; one model, like the
// rest of the library, is used by one thread at a time.
#ifndef QM_MEMORY_BUDGET_H
#define QM_MEMORY_BUDGET_H

#include <cstddef>
#include <cstdint>
#include <limits>
#include <new>

class MemoryBudget {
 public:
  static constexpr std::uint64_t kNoLimit = std::numeric_limits<std::uint64_t>::max();

  MemoryBudget() = default;
  MemoryBudget(const MemoryBudget&) = delete;
  MemoryBudget& operator=(const MemoryBudget&) = delete;

  // A limit below what is held lets the model grow no further.
  void SetLimit(std::uint64_t bytes) { limit_ = bytes; }
  std::uint64_t Held() const { return held_; }

  // Whether Take refused since the last ForgetRefusal.
  bool Refused() const { return refused_; }
  void ForgetRefusal() { refused_ = false; }

  void* Take(std::size_t bytes) {
    if (bytes > limit_ || held_ > limit_ - bytes) Refuse();
    void* piece = ::operator new(bytes);
    held_ += bytes;
    return piece;
  }

  void Give(void* piece, std::size_t bytes) {
    ::operator delete(piece);
    held_ -= bytes;
  }

 private:
  [[noreturn]]
#if defined(__GNUC__)
  __attribute__((noinline, cold))
#endif
  void Refuse() {
    refused_ = true;
    throw std::bad_alloc();
  }

  std::uint64_t limit_ = kNoLimit;
  std::uint64_t held_ = 0;
  bool refused_ = false;
};

// A standard allocator that takes from a model's budget, for the model's
// std::vectors.
template <typename T>
class BudgetAllocator {
 public:
  using value_type = T;

  explicit BudgetAllocator(MemoryBudget& budget) : budget_(&budget) {}
  template <typename U>
  BudgetAllocator(const BudgetAllocator<U>& other) : budget_(other.budget_) {}

  T* allocate(std::size_t count) {
    if (count > std::numeric_limits<std::size_t>::max() / sizeof(T)) throw std::bad_alloc();
    return static_cast<T*>(budget_->Take(count * sizeof(T)));
  }
  void deallocate(T* piece, std::size_t count) { budget_->Give(piece, count * sizeof(T)); }

  template <typename U>
  bool operator==(const BudgetAllocator<U>& other) const {
    return budget_ == other.budget_;
  }
  template <typename U>
  bool operator!=(const BudgetAllocator<U>& other) const {
    return budget_ != other.budget_;
  }

 private:
  template <typename U>
  friend class BudgetAllocator;
  MemoryBudget* budget_;
};

#endif  // QM_MEMORY_BUDGET_H
