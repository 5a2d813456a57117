// The sets of small .msh files that both test-file generators write
// (make_fuzz_seeds for the fuzz targets, make_dll_run_files for the runs of the
// Windows modules): every marker family, names and floats at their edges,
// mesh ranges against the pools, a trailer, cuts of a file. Each set is built
// on a generator's own pools and hardpoints (a FileBasis), so every generator
// keeps writing the same bytes while the sets are stated once:
//
//   const FileBasis basis{Pools, Hardpoint, WithHardpoints};
//   std::vector<NamedFile> files = MarkerFiles(basis, {"slo"});
//   files.push_back({"trailer", WriteMsh(TrailerFile(basis))});
//   if (!SaveFiles(files, folder, "make_fuzz_seeds")) ...
//
// In a folder of its own, as the generators' command line: a build of an
// older commit (fuzz/import_digest.cmake) compiles it from this checkout.
#ifndef QM_MSHWRITER_FILESETS_H
#define QM_MSHWRITER_FILESETS_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "MshWriter.h"

struct NamedFile {
  std::string name;  // written as NAME.msh
  std::vector<std::uint8_t> bytes;
};

// What a generator builds its files on.
struct FileBasis {
  // Pools of `vertexCount` vertices and `indexCount` indices, and no group.
  MshFile (*pools)(std::uint32_t vertexCount, std::uint32_t indexCount);
  // A hardpoint named `name` with `points` points.
  MshHardpoint (*hardpoint)(const std::string& name, int points);
  // One group whose level has a mesh over 3 vertices, with `hardpoints`.
  MshFile (*withHardpoints)(std::vector<MshHardpoint> hardpoints);
};

// One group with one level (its red value `red`) holding `meshes`, over pools
// of 8 vertices and 18 indices.
MshFile OneLevel(const FileBasis& basis, std::vector<MshMesh> meshes, float red = 25.0f);

// "marker-NAME": a file per marker family, a name that only starts like one,
// one shorter than a prefix, another letter case and an empty name
// ("marker-empty"), then one per name of `extraNames` (a name longer than 32
// characters is "marker-long-name"). Each holds a hardpoint of that name with
// each of 0, 1, 2, 3, 4, 5 and 7 points: the counts around the families'
// steps of two and three.
std::vector<NamedFile> MarkerFiles(const FileBasis& basis,
                                   const std::vector<std::string>& extraNames);

// One marker name in two groups, whose marker mesh and material are shared,
// and the second group's marker of another family.
MshFile SharedMarkerFile(const FileBasis& basis);

// Mesh records at the texture field's edges: a 262-byte name with no NUL, one
// that fills the host's 31 characters with the "@boo" suffix, bytes above
// 127 (in two records sharing a material), and an empty record.
std::vector<MshMesh> OddNameMeshes();

// Where a file of odd floats differs from generator to generator.
struct OddFloats {
  std::string textureName;  // of the one mesh, over the whole pools
  // Spread over the vertices' positions, normals and texture coordinates.
  std::array<float, 8> values{};
  float alpha = 0;
  std::uint32_t shininessBits = 0;  // a NaN, passed on bit for bit
  float lastLevelRed = 0;           // of the third level; the second's is NaN
  std::uint32_t markerShininessBits = 0;
};

// `odd`'s values in every float the import passes on: the vertices, the
// mesh's diffuse colour (NaN, the infinities and -0), alpha and shininess,
// the levels' red values (printed into their names) and a marker's point and
// colour.
MshFile OddFloatsFile(const FileBasis& basis, const OddFloats& odd);

// 64 bytes after the last group.
MshFile TrailerFile(const FileBasis& basis);

// A "blink" hardpoint of 2 points whose record says `pointCount`.
MshFile PointCountFile(const FileBasis& basis, std::int32_t pointCount);

// A mesh record's ranges, against pools of 8 vertices and 18 indices.
struct MeshRange {
  const char* name;
  std::uint32_t firstVertex, vertexCount, firstIndex, triangleCount;
};
MshFile RangeFile(const FileBasis& basis, const MeshRange& range);

// `bytes` cut after `length` bytes (all of them when it holds fewer), as
// "PREFIXLENGTH".
NamedFile CutFile(const std::vector<std::uint8_t>& bytes, const std::string& prefix,
                  std::size_t length);
// `count` cuts spread over `bytes`: cut n (from 0) after size * n / count
// bytes and n % jitter more, so that each stops a reader inside a different
// record.
std::vector<NamedFile> SpreadCuts(const std::vector<std::uint8_t>& bytes, const std::string& prefix,
                                  int count, int jitter);

// Writes each file as FOLDER/NAME.msh. False when one can't be written,
// said on standard error after `program`'s name.
bool SaveFiles(const std::vector<NamedFile>& files, const std::string& folder, const char* program);

#endif  // QM_MSHWRITER_FILESETS_H
