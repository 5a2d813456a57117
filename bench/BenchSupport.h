// What the benchmark program and its memory probe share: the size of what a
// model holds.
#ifndef QM_BENCH_BENCHSUPPORT_H
#define QM_BENCH_BENCHSUPPORT_H

#include <cstdint>

#include "qmModelLib.h"

// The bytes of data the model keeps, with no container overhead: per vertex
// its position, texture coordinates, bone index and normal (36 bytes), per
// triangle its vertex and normal indices (12 bytes), per mesh and material
// its 32-byte name and its fields. The floor allocates and fills this much.
std::uint64_t ModelPayloadBytes(qmModel* model);

#endif  // QM_BENCH_BENCHSUPPORT_H
