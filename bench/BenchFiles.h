// The benchmark's input files, made by our own writer: well-formed, sized to
// stress one cost each.
//
//   big:  16 meshes of 62,500 vertices and 125,000 triangles. The 16-bit index
//         pool reaches only 65,536 vertices, so the meshes share one vertex
//         range and differ in their index ranges: 1,000,000 host vertices and
//         2,000,000 triangles from a 15.5 MB file. Per-vertex cost.
//   many: 20,000 small meshes over 5,000 material names and 10,000 hardpoints
//         over 2,000 names, in 20 groups. Per-object cost and the look-ups by
//         name; `scale` 10 makes the tenth of it to show the scaling.
//   tiny: one detail level and one hardpoint, about 200 bytes. The fixed cost
//         of a run.
//   batch: a file of a converted folder: 4 meshes of big's vertex range and
//         62,500 triangles each in detail level 0, 5 MB. `variant` shifts the
//         triangles, so the files of a batch differ.
//
// `small` shrinks big and many for the smoke run in CI. `oneLevel` puts big's
// 16 meshes in detail level 0 of its two groups (8 each) instead of 2 levels
// of 4: the same model, all of which a save keeps by default.
#ifndef QM_BENCH_BENCHFILES_H
#define QM_BENCH_BENCHFILES_H

#include <cstdint>
#include <vector>

std::vector<std::uint8_t> MakeBigFile(bool small, bool oneLevel = false);
std::vector<std::uint8_t> MakeManyFile(int scale, bool small);
std::vector<std::uint8_t> MakeTinyFile();
std::vector<std::uint8_t> MakeBatchFile(int variant, bool small);

#endif  // QM_BENCH_BENCHFILES_H
