#include "AllocCount.h"

#include <malloc.h>

#include <atomic>
#include <cerrno>
#include <cstddef>

// glibc exports its allocator under these names as well, so the replacements
// below can hand the work on. glibc supports replacing malloc this way.
extern "C" {
void* __libc_malloc(std::size_t size);
void __libc_free(void* block);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* block, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
}

namespace {

std::atomic<std::int64_t> held{0};
std::atomic<std::int64_t> peak{0};

void Took(void* block) {
  if (block == nullptr) return;
  const std::int64_t bytes = static_cast<std::int64_t>(malloc_usable_size(block));
  const std::int64_t now = held.fetch_add(bytes) + bytes;
  std::int64_t seen = peak.load(std::memory_order_relaxed);
  while (now > seen && !peak.compare_exchange_weak(seen, now)) {
  }
}

void Gave(void* block) {
  if (block != nullptr) held.fetch_sub(static_cast<std::int64_t>(malloc_usable_size(block)));
}

}  // namespace

std::int64_t HeapBytesHeld() { return held.load(); }
std::int64_t HeapPeakBytes() { return peak.load(); }
void ResetHeapPeak() { peak.store(held.load()); }

extern "C" {

void* malloc(std::size_t size) {
  void* block = __libc_malloc(size);
  Took(block);
  return block;
}

void free(void* block) {
  Gave(block);
  __libc_free(block);
}

void* calloc(std::size_t count, std::size_t size) {
  void* block = __libc_calloc(count, size);
  Took(block);
  return block;
}

void* realloc(void* block, std::size_t size) {
  const std::int64_t before =
      block != nullptr ? static_cast<std::int64_t>(malloc_usable_size(block)) : 0;
  void* moved = __libc_realloc(block, size);
  // A failed realloc keeps the old block; realloc(p, 0) frees it.
  if (moved == nullptr && size != 0) return nullptr;
  held.fetch_sub(before);
  Took(moved);
  return moved;
}

void* memalign(std::size_t alignment, std::size_t size) {
  void* block = __libc_memalign(alignment, size);
  Took(block);
  return block;
}

void* aligned_alloc(std::size_t alignment, std::size_t size) { return memalign(alignment, size); }

int posix_memalign(void** out, std::size_t alignment, std::size_t size) {
  if (alignment % sizeof(void*) != 0 || (alignment & (alignment - 1)) != 0) return EINVAL;
  void* block = memalign(alignment, size);
  if (block == nullptr) return ENOMEM;
  *out = block;
  return 0;
}

void* valloc(std::size_t size) { return memalign(4096, size); }

}  // extern "C"
