// Storage for a model's many small pieces: meshes, materials, the first
// chunks of their lists. Pieces are cut one after another from blocks and are
// all freed together when the model is emptied, since the host's interface
// never removes a single object. This saves the general heap's bookkeeping on
// each piece (16 bytes on a 48-byte chunk) and keeps a mesh and its data close.
//
// The arena also hands out the model's larger pieces from the general heap,
// and counts all of it against the model's budget (MemoryBudget.h).
#ifndef QM_MODEL_ARENA_H
#define QM_MODEL_ARENA_H

#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

#include "MemoryBudget.h"

#if defined(__GNUC__)
#  define QM_LIKELY(x) __builtin_expect(!!(x), 1)
#  define QM_UNLIKELY(x) __builtin_expect(!!(x), 0)
#  define QM_NOINLINE __attribute__((noinline))
#else
#  define QM_LIKELY(x) (x)
#  define QM_UNLIKELY(x) (x)
#  define QM_NOINLINE
#endif

class ModelArena {
 public:
  // Pieces up to this size come from the arena; larger ones are better off
  // on the general heap, where a block's unusable end would waste less.
  static constexpr std::size_t kLargestPiece = 512;

  ModelArena() = default;
  ModelArena(const ModelArena&) = delete;
  ModelArena& operator=(const ModelArena&) = delete;
  ~ModelArena() { Clear(); }

  // `bytes` at most kLargestPiece; aligned to 8 bytes, enough for any of the
  // model's types.
  void* Allocate(std::size_t bytes) {
    bytes = (bytes + kAlign - 1) & ~(kAlign - 1);
    if (QM_UNLIKELY(static_cast<std::size_t>(end_ - next_) < bytes)) NewBlock();
    void* piece = next_;
    next_ += bytes;
    return piece;
  }

  // A piece larger than kLargestPiece, from the general heap; given back
  // with GiveLarge or by the owner's Release.
  void* TakeLarge(std::size_t bytes) { return budget_.Take(bytes); }
  void GiveLarge(void* piece, std::size_t bytes) { budget_.Give(piece, bytes); }

  // Remembers `owner`, which also holds memory from the general heap, so that
  // Clear has it give that memory back first. Emptying a model then touches
  // only the few objects that hold such memory, not every mesh.
  using Release = void (*)(void* owner, ModelArena& arena);
  void Track(void* owner, Release release) { heapUsers_.push_back(HeapUser{owner, release}); }

  void Clear() {
    for (const HeapUser& user : heapUsers_) user.release(user.owner, *this);
    heapUsers_.clear();
    for (std::size_t n = 0; n < blocks_.size(); ++n) budget_.Give(blocks_[n], BlockBytes(n));
    blocks_.clear();
    next_ = end_ = nullptr;
  }

  // What the model may hold and holds, counted over the arena's blocks, the
  // large pieces and anything else the model allocates with BudgetAllocator.
  MemoryBudget& Budget() { return budget_; }
  const MemoryBudget& Budget() const { return budget_; }

 private:
  static constexpr std::size_t kAlign = 8;
  static constexpr std::size_t kFirstBlock = 1024;
  static constexpr std::size_t kBlock = 64 * 1024;
  static constexpr std::size_t kDoublings = 6;  // kFirstBlock << 6 == kBlock
  static_assert(kFirstBlock >= kLargestPiece, "every piece fits a block");

  // Blocks double from kFirstBlock to kBlock, so that a small model takes
  // little more than it needs.
  static std::size_t BlockBytes(std::size_t block) {
    return block < kDoublings ? kFirstBlock << block : kBlock;
  }

  QM_NOINLINE void NewBlock() {
    if (blocks_.size() == blocks_.capacity()) blocks_.reserve(blocks_.empty() ? 16 : 2 * blocks_.size());
    const std::size_t grown = BlockBytes(blocks_.size());
    char* block = static_cast<char*>(budget_.Take(grown));
    blocks_.push_back(block);
    next_ = block;
    end_ = block + grown;
  }

  struct HeapUser {
    void* owner;
    Release release;
  };

  // First: the lists below give their memory back to it when destroyed.
  MemoryBudget budget_;
  std::vector<void*, BudgetAllocator<void*>> blocks_{BudgetAllocator<void*>(budget_)};
  std::vector<HeapUser, BudgetAllocator<HeapUser>> heapUsers_{BudgetAllocator<HeapUser>(budget_)};
  char* next_ = nullptr;
  char* end_ = nullptr;
};

#endif  // QM_MODEL_ARENA_H
