// A mesh's vertices, normals or triangles: a list of elements in chunks of 4,
// 8, 16, ... up to 256 elements, then of 256 each. Appending never moves an
// element, so a handle stays valid while more are appended; finding element i
// takes a few instructions. An empty list holds no memory, a small one small
// chunks from the model's arena, and a large one leaves at most one chunk's
// tail unused. Only appended elements are constructed, so that tail is never
// touched.
#ifndef QM_CHUNKED_LIST_H
#define QM_CHUNKED_LIST_H

#include <climits>
#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>

#include "ModelArena.h"

template <typename T>
class ChunkedList {
  static_assert(std::is_trivially_destructible<T>::value, "elements are never destroyed");
  static_assert(alignof(T) <= 8, "the arena aligns to 8 bytes");
  // What AppendInNewChunk relies on when it has the arena track the list.
  static_assert((std::size_t{1} << 8) * sizeof(T) > ModelArena::kLargestPiece,
                "full chunks come from the heap");
  static_assert(ModelArena::kLargestPiece / sizeof(T*) > 8,
                "the chunk table stays in the arena past the first full chunk");

 public:
  std::size_t size() const { return size_; }

  // Appends a value-initialised element and returns its index; -1 once the
  // list holds as many elements as an int can count.
  int Append(ModelArena& arena) {
    if (QM_LIKELY(next_ != end_)) {
      new (next_) T();
      ++next_;
      return static_cast<int>(size_++);
    }
    return AppendInNewChunk(arena);
  }

  // The element at `index`, or null when there is none.
  T* Find(int index) const {
    // An importer asks for the element it has just appended far more often
    // than for any other. (An index below 0 becomes 2^31 or more here.)
    if (QM_LIKELY(std::uint64_t{static_cast<std::uint32_t>(index)} + 1 == size_)) return next_ - 1;
    return FindElsewhere(index);
  }

  // Hands the elements [first, first + count), which lie within the list, to
  // `take(const T* run, std::size_t length)` in runs that lie together in
  // memory, in order: a reader copies a whole chunk at a time.
  template <typename Take>
  void ForEachRun(std::size_t first, std::size_t count, Take take) const {
    while (count > 0) {
      std::uint32_t chunk = 0;
      std::size_t offset = 0;
      Locate(first, chunk, offset);
      const std::size_t length = ChunkLength(chunk) - offset < count ? ChunkLength(chunk) - offset : count;
      take(static_cast<const T*>(chunks_[chunk] + offset), length);
      first += length;
      count -= length;
    }
  }

  // Frees the chunks and the chunk table that came from the general heap;
  // the arena frees the rest. The list is empty afterwards. The arena calls
  // this for every list that took memory from the heap when it is cleared.
  void Release(ModelArena& arena) {
    for (std::uint32_t c = 0; c < chunkCount_; ++c) Give(arena, chunks_[c], ChunkBytes(c));
    if (chunks_ != nullptr) Give(arena, chunks_, Capacity(chunkCount_) * sizeof(T*));
    *this = ChunkedList();
  }

 private:
  static constexpr unsigned kFirstBits = 2;
  static constexpr unsigned kLastBits = 8;
  static constexpr std::size_t kFirst = std::size_t{1} << kFirstBits;
  static constexpr std::size_t kLast = std::size_t{1} << kLastBits;
  static constexpr std::uint32_t kGrowingChunks = kLastBits - kFirstBits + 1;
  // Elements in the growing chunks: kFirst * (2^kGrowingChunks - 1).
  static constexpr std::size_t kGrowing = (kFirst << kGrowingChunks) - kFirst;
  // The chunk table starts with room for this many chunks and doubles.
  static constexpr std::uint32_t kFirstCapacity = 2;

  static bool FromArena(std::size_t bytes) { return bytes <= ModelArena::kLargestPiece; }

  static std::size_t ChunkLength(std::uint32_t chunk) {
    return chunk < kGrowingChunks ? kFirst << chunk : kLast;
  }
  static std::size_t ChunkBytes(std::uint32_t chunk) { return ChunkLength(chunk) * sizeof(T); }

  // Room in the chunk table of a list of `count` chunks.
  static std::size_t Capacity(std::uint32_t count) {
    if (count == 0) return 0;
    std::size_t capacity = kFirstCapacity;
    while (capacity < count) capacity *= 2;
    return capacity;
  }

  static void* Take(ModelArena& arena, std::size_t bytes) {
    return FromArena(bytes) ? arena.Allocate(bytes) : arena.TakeLarge(bytes);
  }
  static void Give(ModelArena& arena, void* piece, std::size_t bytes) {
    if (!FromArena(bytes)) arena.GiveLarge(piece, bytes);
  }

  // Out of line, so that appending in the common case needs no stack frame.
  // Whatever it takes it takes before the list changes: when memory runs out
  // (the model's budget or the heap's) the list is as it was.
  QM_NOINLINE int AppendInNewChunk(ModelArena& arena) {
    if (size_ >= static_cast<std::uint32_t>(INT_MAX)) return -1;
    const std::size_t chunkBytes = ChunkBytes(chunkCount_);
    T* chunk = static_cast<T*>(Take(arena, chunkBytes));
    const std::size_t capacity = Capacity(chunkCount_);
    const std::size_t grown =
        chunkCount_ < capacity ? capacity : capacity == 0 ? kFirstCapacity : 2 * capacity;
    T** table = chunks_;
    try {
      if (grown != capacity) table = static_cast<T**>(Take(arena, grown * sizeof(T*)));
      // Chunks only grow, and the chunk table outgrows the arena only after
      // them: the first chunk from the heap is where the list starts to need
      // releasing.
      if (!FromArena(chunkBytes) && (chunkCount_ == 0 || FromArena(ChunkBytes(chunkCount_ - 1))))
        arena.Track(this, [](void* list, ModelArena& owner) {
          static_cast<ChunkedList*>(list)->Release(owner);
        });
    } catch (...) {
      if (table != chunks_) Give(arena, table, grown * sizeof(T*));
      Give(arena, chunk, chunkBytes);
      throw;
    }
    if (table != chunks_) {
      for (std::uint32_t c = 0; c < chunkCount_; ++c) table[c] = chunks_[c];
      if (chunks_ != nullptr) Give(arena, chunks_, capacity * sizeof(T*));
      chunks_ = table;
    }
    chunks_[chunkCount_++] = chunk;
    next_ = chunk;
    end_ = chunk + ChunkLength(chunkCount_ - 1);
    new (next_) T();
    ++next_;
    return static_cast<int>(size_++);
  }

  QM_NOINLINE T* FindElsewhere(int index) const {
    if (index < 0 || static_cast<std::uint32_t>(index) >= size_) return nullptr;
    std::uint32_t chunk = 0;
    std::size_t offset = 0;
    Locate(static_cast<std::size_t>(index), chunk, offset);
    return chunks_[chunk] + offset;
  }

  // The chunk that holds element `at` and its place in it.
  static void Locate(std::size_t at, std::uint32_t& chunk, std::size_t& offset) {
    if (at >= kGrowing) {
      const std::size_t rest = at - kGrowing;
      chunk = static_cast<std::uint32_t>(kGrowingChunks + (rest >> kLastBits));
      offset = rest & (kLast - 1);
      return;
    }
    // Growing chunk c holds kFirst * 2^c elements, from kFirst * (2^c - 1) on.
    const unsigned c = HighestBit((at >> kFirstBits) + 1);
    chunk = c;
    offset = at - ((kFirst << c) - kFirst);
  }

  static unsigned HighestBit(std::size_t value) {
    unsigned bit = 0;
    while (value >>= 1) ++bit;
    return bit;
  }

  T* next_ = nullptr;  // where the next element goes, in the last chunk
  T* end_ = nullptr;   // the end of the last chunk
  T** chunks_ = nullptr;
  std::uint32_t size_ = 0;
  std::uint32_t chunkCount_ = 0;
};

#endif  // QM_CHUNKED_LIST_H
