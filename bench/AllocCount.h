// Counting of the heap bytes a process holds, by replacing malloc and its
// relatives with wrappers around glibc's own allocator. Only qm_bench_peak
// links it, so the timed benchmarks run on the plain allocator.
#ifndef QM_BENCH_ALLOCCOUNT_H
#define QM_BENCH_ALLOCCOUNT_H

#include <cstdint>

// Bytes held now, counted as malloc_usable_size of every live block (the
// request rounded up to the allocator's granule), and the most held since the
// last ResetPeak.
std::int64_t HeapBytesHeld();
std::int64_t HeapPeakBytes();
void ResetHeapPeak();

#endif  // QM_BENCH_ALLOCCOUNT_H
