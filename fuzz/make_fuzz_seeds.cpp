// Writes the fuzz targets' seed corpus, made by our own writer:
//   make_fuzz_seeds OUTDIR
// OUTDIR/seeds: small files, each reaching a different part of the import (the
// sample and its truncations, every marker family, damaged counts and ranges,
// odd floats and names). OUTDIR/large: files of 1 MiB that the CI runs once
// with a tight allocation limit, so that no count in a file makes the import
// allocate much more than the file's size.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "FileSets.h"
#include "GeneratorCommandLine.h"
#include "MshWriter.h"
#include "SampleFile.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kLarge = 1 << 20;

// A pool of `count` vertices with indices 0, 1, 2, 1, 2, 3, ...
MshFile WithPools(std::uint32_t vertexCount, std::uint32_t indexCount) {
  MshFile file;
  for (std::uint32_t v = 0; v < vertexCount; ++v) {
    MshVertex vertex;
    vertex.position = {static_cast<float>(v), static_cast<float>(v % 3), 1.0f};
    vertex.normal = {0, 0, 1};
    vertex.texCoords = {0.5f, static_cast<float>(v % 2)};
    file.vertices.push_back(vertex);
  }
  for (std::uint32_t i = 0; i < indexCount; ++i)
    file.indices.push_back(static_cast<std::uint16_t>(vertexCount ? i / 3 + i % 3 : i));
  return file;
}

MshGroup Group(std::vector<MshLevel> levels) {
  MshGroup group;
  group.levels = std::move(levels);
  return group;
}

MshHardpoint Hardpoint(const std::string& name, int points) {
  MshHardpoint hardpoint;
  hardpoint.name = name;
  for (int p = 0; p < points; ++p)
    hardpoint.points.push_back({static_cast<float>(p), 0.5f, -static_cast<float>(p)});
  return hardpoint;
}

MshFile WithHardpoints(std::vector<MshHardpoint> hardpoints) {
  MshFile file = WithPools(3, 3);
  MshGroup group;
  group.levels.push_back(LevelOf(1.0f, {MeshOf("hull.tga", 0, 3, 0, 1)}));
  group.block12Count = 1;
  group.block4Count = 1;
  group.block19Count = 1;
  group.hardpoints = std::move(hardpoints);
  file.groups.push_back(group);
  return file;
}

const FileBasis kBasis{WithPools, Hardpoint, WithHardpoints};

// Overwrites the little-endian integer at `offset`.
template <typename T>
void Patch(Bytes& bytes, std::size_t offset, T value) {
  for (std::size_t n = 0; n < sizeof(T); ++n)
    bytes.at(offset + n) = static_cast<std::uint8_t>(static_cast<std::uint64_t>(value) >> (8 * n));
}

void AddSampleAndTruncations(std::vector<NamedFile>& seeds) {
  const Bytes sample = WriteMsh(SampleFile());
  seeds.push_back({"sample", sample});
  // Cuts spread over the whole file, the first the empty file: each one stops
  // the import inside a different record. Then the header's edges.
  for (NamedFile& cut : SpreadCuts(sample, "sample-cut-", 24, 3)) seeds.push_back(std::move(cut));
  for (std::size_t length : {1, 28, 29, 30, 84, 85, 86})
    seeds.push_back(CutFile(sample, "sample-cut-", length));
}

void AddMarkerFamilies(std::vector<NamedFile>& seeds) {
  // Besides the families, a name shorter than a prefix of another, and a full
  // 101-byte field with no NUL.
  for (NamedFile& file : MarkerFiles(kBasis, {"slo"})) seeds.push_back(std::move(file));
  seeds.push_back(
      {"marker-long-name", WriteMsh(WithHardpoints({Hardpoint(std::string(101, 'b'), 3)}))});
  seeds.push_back({"marker-shared-across-groups", WriteMsh(SharedMarkerFile(kBasis))});
}

void AddOddCounts(std::vector<NamedFile>& seeds) {
  const std::uint32_t u32max = std::numeric_limits<std::uint32_t>::max();
  const std::uint16_t u16max = std::numeric_limits<std::uint16_t>::max();

  auto header = [&](std::uint32_t vertices, std::uint32_t indices, std::uint16_t groups) {
    MshFile file = WithPools(2, 3);
    file.vertexCount = vertices;
    file.indexCount = indices;
    file.groupCount = groups;
    return WriteMsh(file);
  };
  seeds.push_back({"header-zero", header(0, 0, 0)});
  seeds.push_back({"header-vertex-count-max", header(u32max, 3, 1)});
  seeds.push_back({"header-index-count-max", header(2, u32max, 1)});
  seeds.push_back({"header-group-count-max", header(2, 3, u16max)});

  MshFile levels = OneLevel(kBasis, {MeshOf("a.tga", 0, 3, 0, 1)});
  levels.groups[0].detailLevelCount = u16max;
  seeds.push_back({"group-level-count-max", WriteMsh(levels)});

  MshFile meshes = OneLevel(kBasis, {MeshOf("a.tga", 0, 3, 0, 1)});
  meshes.groups[0].levels[0].meshCount = u16max;
  seeds.push_back({"level-mesh-count-max", WriteMsh(meshes)});

  MshFile blocks = OneLevel(kBasis, {MeshOf("a.tga", 0, 3, 0, 1)});
  blocks.groups[0].levels[0].block28Count = 2;
  blocks.groups[0].levels[0].block2Count = 3;
  blocks.groups[0].block12Count = 1;
  blocks.groups[0].block4Count = 2;
  blocks.groups[0].block19Count = 1;
  blocks.groups[0].hardpoints.push_back(Hardpoint("fire_a", 1));
  seeds.push_back({"trailing-blocks", WriteMsh(blocks)});
  // Counts that run far past the file once multiplied out. The writer would
  // fill such blocks out, so the counts are patched into a written file.
  const std::size_t groupAt = 29 + 56 * blocks.vertices.size() + 2 * blocks.indices.size();
  Bytes blockOverflow = WriteMsh(blocks);
  Patch(blockOverflow, groupAt + 12 + 6, u32max);  // the level's block28Count
  seeds.push_back({"level-block-count-max", blockOverflow});
  blockOverflow = WriteMsh(blocks);
  Patch(blockOverflow, groupAt + 8, u16max);  // the group's block19Count
  seeds.push_back({"group-block-count-max", blockOverflow});

  // Ranges of mesh records against the pools of 8 vertices and 18 indices.
  const MeshRange ranges[] = {
      {"range-whole-pools", 0, 8, 0, 6},           {"range-empty-mesh", 0, 0, 0, 0},
      {"range-vertices-past-pool", 6, 5, 0, 6},    {"range-first-vertex-max", u32max, 2, 0, 1},
      {"range-vertex-count-max", 1, u32max, 0, 6}, {"range-indices-past-pool", 0, 8, 15, 3},
      {"range-first-index-max", 0, 8, u32max, 1},  {"range-triangle-count-max", 0, 8, 0, u32max},
      {"range-corners-outside-mesh", 2, 3, 0, 6},
  };
  for (const MeshRange& range : ranges)
    seeds.push_back({range.name, WriteMsh(RangeFile(kBasis, range))});

  seeds.push_back({"point-count-negative", WriteMsh(PointCountFile(kBasis, -1))});
  seeds.push_back({"point-count-min",
                   WriteMsh(PointCountFile(kBasis, std::numeric_limits<std::int32_t>::min()))});
  seeds.push_back({"point-count-max",
                   WriteMsh(PointCountFile(kBasis, std::numeric_limits<std::int32_t>::max()))});
  MshFile hardpoints = WithHardpoints({Hardpoint("dock_a", 2)});
  hardpoints.groups[0].hardpointCount = u16max;
  seeds.push_back({"hardpoint-count-max", WriteMsh(hardpoints)});
}

void AddOddValues(std::vector<NamedFile>& seeds) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  seeds.push_back({"names", WriteMsh(OneLevel(kBasis, OddNameMeshes()))});
  // NaN, the infinities, -0, denormals and the largest floats.
  OddFloats odd;
  odd.textureName = "odd.tga";
  odd.values = {nan, inf, -inf, -0.0f, 1e-45f, 3.4e38f, -3.4e38f, 0.1f};
  odd.alpha = nan;
  odd.shininessBits = 0x7FC00001;  // a NaN with a payload
  odd.lastLevelRed = inf;
  odd.markerShininessBits = 0;
  seeds.push_back({"odd-floats", WriteMsh(OddFloatsFile(kBasis, odd))});
  seeds.push_back({"trailer", WriteMsh(TrailerFile(kBasis))});
}

// 1 MiB files that claim far more than they hold, or hold as much as they can
// of one kind of record.
void AddLarge(std::vector<NamedFile>& large) {
  auto pad = [](Bytes bytes) {
    bytes.resize(kLarge, 0x5C);
    return bytes;
  };
  MshFile claims = WithPools(1, 0);
  claims.vertexCount = std::numeric_limits<std::uint32_t>::max();
  claims.indexCount = std::numeric_limits<std::uint32_t>::max();
  claims.groupCount = std::numeric_limits<std::uint16_t>::max();
  large.push_back({"large-claims", pad(WriteMsh(claims))});

  // The largest pools that fit, with one mesh over all of them.
  const std::uint32_t vertexCount = (kLarge - 4096) / 56;
  MshFile pools = WithPools(vertexCount, 1500);
  pools.groups.push_back(Group({LevelOf(1, {MeshOf("p.tga", 0, vertexCount, 0, 500)})}));
  large.push_back({"large-pools", pad(WriteMsh(pools))});

  // As many empty mesh records, detail levels and hardpoints as fit.
  MshFile records = WithPools(3, 3);
  MshGroup group;
  group.levels.push_back(
      LevelOf(1, std::vector<MshMesh>(kLarge / 353 / 2, MeshOf("m", 0, 3, 0, 1))));
  group.levels.resize(kLarge / 2 / 14 / 2 > 60000 ? 60000 : kLarge / 2 / 14 / 2);
  records.groups.push_back(group);
  large.push_back({"large-records", pad(WriteMsh(records))});

  // One "blink" hardpoint with every point the file holds: three vertices each,
  // past the 16-bit indices of the marker mesh.
  MshFile points =
      WithHardpoints({Hardpoint("blink_many", static_cast<int>((kLarge - 1024) / 12))});
  large.push_back({"large-points", pad(WriteMsh(points))});

  // Hardpoints of as many different names as fit, each a marker mesh of its own.
  MshFile names = WithHardpoints({});
  for (std::size_t h = 0; h < 6000; ++h)
    names.groups[0].hardpoints.push_back(Hardpoint("n" + std::to_string(h), 0));
  large.push_back({"large-names", pad(WriteMsh(names))});
}

}  // namespace

int main(int argc, char** argv) {
  int status = 0;
  const std::string out = GeneratorPath(
      argc, argv,
      "Writes the fuzz targets' seed corpus (OUTDIR/seeds) and large files (OUTDIR/large).",
      "OUTDIR", "The folder to write into; OUTDIR/seeds and OUTDIR/large must exist", status);
  if (out.empty()) return status;
  std::vector<NamedFile> seeds;
  AddSampleAndTruncations(seeds);
  AddMarkerFamilies(seeds);
  AddOddCounts(seeds);
  AddOddValues(seeds);
  std::vector<NamedFile> large;
  AddLarge(large);
  return SaveFiles(seeds, out + "/seeds", "make_fuzz_seeds") &&
                 SaveFiles(large, out + "/large", "make_fuzz_seeds")
             ? 0
             : 1;
}
