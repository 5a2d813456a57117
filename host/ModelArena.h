// Storage for a model's many small pieces: meshes, materials, the first
// chunks of their lists. Pieces are cut one after another from blocks and are
// all freed together when the model is emptied, since the host's interface
// never removes a single object. This saves the general heap's bookkeeping on
// each piece (16 bytes on a 48-byte chunk) and keeps a mesh and its data close.
#ifndef QM_MODEL_ARENA_H
#define QM_MODEL_ARENA_H

#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

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

  // Remembers `owner`, which also holds memory from the general heap, so that
  // Clear has it give that memory back first. Emptying a model then touches
  // only the few objects that hold such memory, not every mesh.
  using Release = void (*)(void* owner);
  void Track(void* owner, Release release) { heapUsers_.push_back(HeapUser{owner, release}); }

  void Clear() {
    for (const HeapUser& user : heapUsers_) user.release(user.owner);
    heapUsers_.clear();
    for (void* block : blocks_) ::operator delete(block);
    blocks_.clear();
    next_ = end_ = nullptr;
  }

 private:
  static constexpr std::size_t kAlign = 8;
  static constexpr std::size_t kFirstBlock = 1024;
  static constexpr std::size_t kBlock = 64 * 1024;
  static constexpr std::size_t kDoublings = 6;  // kFirstBlock << 6 == kBlock
  static_assert(kFirstBlock >= kLargestPiece, "every piece fits a block");

  // Blocks double from kFirstBlock to kBlock, so that a small model takes
  // little more than it needs.
  QM_NOINLINE void NewBlock() {
    if (blocks_.size() == blocks_.capacity()) blocks_.reserve(blocks_.empty() ? 16 : 2 * blocks_.size());
    const std::size_t grown = blocks_.size() < kDoublings ? kFirstBlock << blocks_.size() : kBlock;
    char* block = static_cast<char*>(::operator new(grown));
    blocks_.push_back(block);
    next_ = block;
    end_ = block + grown;
  }

  struct HeapUser {
    void* owner;
    Release release;
  };

  std::vector<void*> blocks_;
  std::vector<HeapUser> heapUsers_;
  char* next_ = nullptr;
  char* end_ = nullptr;
};

#endif  // QM_MODEL_ARENA_H
