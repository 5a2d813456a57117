// The walk's first part: header, pools, groups, detail levels and mesh
// records. The marker step is in ImportGroupHardpoints.cpp.
#include "ImportMeshFile.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "CountingBuilder.h"
#include "HostModelBuilder.h"
#include "ImportWalk.h"

namespace {

// Corners are 16-bit pool entries: no triangle reaches a pool entry past this.
constexpr std::uint64_t kReachableVertices = 65536;

// Reads `count` elements into `pool`, or passes over them, after checking that
// the rest of the file can hold them, so a damaged count never makes the walk
// allocate more than the file's size.
template <typename T>
bool ReadPool(Pool<T>& pool, std::uint32_t count, bool keep, FileBuffer& myfile,
              ImportReport& report, const ImportPlace& place) {
  const std::int64_t bytes = static_cast<std::int64_t>(sizeof(T)) * count;
  const std::int64_t left = myfile.Remaining();
  if (bytes > left) {
    BufferSkip(&myfile, bytes);
    report.Add(MakeFinding(FindingKind::Truncated, place, bytes, left, count));
    return false;
  }
  if (!keep) {
    pool.PassOver(count);
    return BufferSkip(&myfile, bytes);
  }
  pool.Allocate(count);
  return BufferRead(pool.data(), static_cast<int>(sizeof(T)), static_cast<int>(count), &myfile);
}

// Hands the mesh's vertex range, cut at the end of the pool, to the builder.
// Returns the number of vertices it got.
template <typename Builder>
std::uint64_t AddVertexRange(ImportWalk<Builder>& walk, typename Builder::Mesh mesh,
                             const MeshRecord& record, const ImportPlace& place) {
  const std::uint64_t poolCount = walk.pools.vertices.size();
  const std::uint64_t wholeEnd = std::uint64_t{record.firstVertex} + record.vertexCount;
  const std::uint64_t first = std::min<std::uint64_t>(record.firstVertex, poolCount);
  const std::uint64_t end = std::min<std::uint64_t>(wholeEnd, poolCount);
  if (wholeEnd > poolCount) {
    const std::uint64_t leftOut = wholeEnd - std::max<std::uint64_t>(record.firstVertex, poolCount);
    walk.report.Add(MakeFinding(FindingKind::VertexRangeOutside, place,
                                static_cast<std::int64_t>(leftOut),
                                record.firstVertex, static_cast<std::int64_t>(wholeEnd),
                                static_cast<std::int64_t>(poolCount)));
  }
  if (Builder::kKeepsVertices) {
    // The pool's address in a local: the compiler cannot know that the host's
    // calls leave the pool alone, and would reload it for every vertex.
    const VertexRecord* pool = walk.pools.vertices.data();
    walk.builder.AddVertices(mesh, pool + first, pool + end);
  }
  if (end > kReachableVertices) {
    walk.report.Add(MakeFinding(FindingKind::UnreachableVertices, place,
                                static_cast<std::int64_t>(end - std::max(first, kReachableVertices)),
                                static_cast<std::int64_t>(first), static_cast<std::int64_t>(end)));
  }
  return end - first;
}

// Puts a triangle's three corners (each below 65,536) into `to` with one
// 8-byte store; the fourth entry is padding. The host reads them back at once:
// from three separate 2-byte stores its wider read would have to wait until
// they had all reached the cache.
void StoreCorners(std::uint16_t (&to)[4], std::uint64_t c0, std::uint64_t c1, std::uint64_t c2) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  const std::uint64_t packed = (c0 << 48) | (c1 << 32) | (c2 << 16);
#else
  const std::uint64_t packed = c0 | (c1 << 16) | (c2 << 32);
#endif
  std::memcpy(to, &packed, sizeof packed);
}

// Hands the builder a triangle for each three pool entries from `entries` to
// `end` whose corners all lie among the mesh's `vertexCount` vertices; returns
// the number handed over.
template <typename Builder>
std::uint64_t AddTriangles(Builder& builder, typename Builder::Mesh mesh,
                           const std::uint16_t* entries, const std::uint16_t* end,
                           std::uint64_t firstVertex, std::uint64_t vertexCount) {
  std::uint64_t added = 0;
  std::uint16_t vertices[4];
  for (; entries != end; entries += 3) {
    // Pool entries count over the whole file; the host wants them local.
    const std::uint64_t c0 = std::uint64_t{entries[0]} - firstVertex;
    const std::uint64_t c1 = std::uint64_t{entries[1]} - firstVertex;
    const std::uint64_t c2 = std::uint64_t{entries[2]} - firstVertex;
    if (c0 >= vertexCount || c1 >= vertexCount || c2 >= vertexCount) continue;
    StoreCorners(vertices, c0, c1, c2);
    builder.AddTriangle(mesh, vertices);
    ++added;
  }
  return added;
}

// The first corner of the `triangles` from `entries` on that lies outside the
// mesh's vertices, and how many do: said of a mesh whose triangles were left
// out, so sound files never pay for it.
void FindCornersOutside(const std::uint16_t* entries, std::uint64_t triangles,
                        std::uint64_t firstVertex, std::uint64_t vertexCount,
                        std::uint64_t& firstOutside, std::uint64_t& outside) {
  outside = 0;
  for (std::uint64_t e = 0; e < 3 * triangles; ++e) {
    if (std::uint64_t{entries[e]} - firstVertex < vertexCount) continue;
    if (outside++ == 0) firstOutside = e;
  }
}

// Builds the mesh's triangles from its index range, cut at the end of the
// pool; a triangle with a corner outside the mesh's vertices is left out.
template <typename Builder>
void AddTriangleRange(ImportWalk<Builder>& walk, typename Builder::Mesh mesh,
                      const MeshRecord& record, std::uint64_t vertexCount,
                      const ImportPlace& place) {
  const std::uint64_t poolCount = walk.pools.indices.size();
  const std::uint64_t first = record.firstIndex;
  const std::uint64_t available = first <= poolCount ? (poolCount - first) / 3 : 0;
  const std::uint64_t count = std::min<std::uint64_t>(record.triangleCount, available);
  if (record.triangleCount > available) {
    walk.report.Add(MakeFinding(FindingKind::IndexRangeOutside, place,
                                static_cast<std::int64_t>(record.triangleCount - count),
                                record.firstIndex, record.triangleCount,
                                static_cast<std::int64_t>(poolCount)));
  }
  if (count == 0) return;

  const std::uint16_t* entries = walk.pools.indices.data() + static_cast<std::size_t>(first);
  const std::uint64_t added =
      AddTriangles(walk.builder, mesh, entries, entries + static_cast<std::size_t>(3 * count),
                   record.firstVertex, vertexCount);
  walk.report.model.triangles += static_cast<std::int64_t>(added);
  if (added == count) return;
  std::uint64_t firstOutside = 0, outside = 0;
  FindCornersOutside(entries, count, record.firstVertex, vertexCount, firstOutside, outside);
  const std::int64_t entry = static_cast<std::int64_t>(first + firstOutside);
  Finding finding = MakeFinding(FindingKind::CornerOutsideMesh, place,
                                static_cast<std::int64_t>(count - added), entry,
                                entries[firstOutside], static_cast<std::int64_t>(outside));
  finding.values[3] = walk.pools.indexPoolOffset + 2 * entry;
  finding.values[4] = static_cast<std::int64_t>(3 * count);
  walk.report.Add(finding);
}

template <typename Builder>
bool ImportMesh(ImportWalk<Builder>& walk, ImportPlace place, std::int64_t announced) {
  ImportScratch& scratch = walk.scratch;
  if (!ReadRecordHere(walk, scratch.mesh, "mesh record", place, announced)) return false;
  ++walk.report.records.meshes;
  const MeshRecord& record = scratch.mesh;
  typename Builder::Mesh mesh = AddCountedMesh(walk);

  const int textLength = FieldLength(record.textureName, sizeof record.textureName);
  const bool flagged = record.materialFlag != 0;
  const int length = FormMaterialName(scratch.name, record.textureName, textLength, flagged);
  bool added = false;
  typename Builder::Material material = walk.builder.FindOrAddMaterial(mesh, scratch.name, added);
  walk.report.model.materials += added;
  NoteName(walk, place, length, true, !added, [&](char* whole, std::size_t size) {
    FormMaterialName(whole, size, record.textureName, textLength, flagged);
  });
  walk.builder.SetMeshMaterial(material, record);

  FormMeshName(scratch.name, place.group, place.level, place.mesh);
  walk.builder.NameMesh(mesh, scratch.name);

  const std::uint64_t copied = AddVertexRange(walk, mesh, record, place);
  walk.report.model.vertices += static_cast<std::int64_t>(copied);
  walk.report.model.normals += static_cast<std::int64_t>(copied);
  AddTriangleRange(walk, mesh, record, copied, place);
  return true;
}

template <typename Builder>
bool ImportDetailLevel(ImportWalk<Builder>& walk, ImportPlace place, std::int64_t announced) {
  ImportScratch& scratch = walk.scratch;
  if (!ReadRecordHere(walk, scratch.level, "detail level record", place, announced)) return false;
  ++walk.report.records.levels;
  const DetailLevelRecord& level = scratch.level;
  typename Builder::Mesh levelMesh = AddCountedMesh(walk);
  const float red = level.red;
  const int length = FormLevelMeshName(scratch.name, place.group, place.level, red);
  NoteName(walk, place, length, false, false, [&](char* whole, std::size_t size) {
    FormLevelMeshName(whole, size, place.group, place.level, red);
  });
  walk.builder.NameMesh(levelMesh, scratch.name);

  const int meshCount = level.meshCount;
  for (int k = 0; k < meshCount; ++k) {
    ImportPlace mesh = place;
    mesh.mesh = k;
    if (!ImportMesh(walk, mesh, meshCount)) return false;
  }

  place.record = "trailing block of the detail level";
  place.offset = walk.myfile.pos;
  return SkipBlock(walk.myfile, LevelTrailingBytes(scratch.level), walk.report, place);
}

template <typename Builder>
bool ImportGroup(ImportWalk<Builder>& walk, int group, std::int64_t announced) {
  const ImportPlace place{"group record", walk.myfile.pos, group, -1, -1, -1};
  if (!ReadRecord(walk.myfile, walk.scratch.group, walk.report, place, announced)) return false;
  ++walk.report.records.groups;
  const int levelCount = walk.scratch.group.detailLevelCount;
  for (int j = 0; j < levelCount; ++j) {
    ImportPlace level = place;
    level.level = j;
    if (!ImportDetailLevel(walk, level, levelCount)) return false;
  }
  return ImportGroupHardpoints(walk, place);
}

}  // namespace

template <typename Builder>
void WalkMeshFile(ImportWalk<Builder>& walk) {
  FileBuffer& myfile = walk.myfile;
  ImportReport& report = walk.report;
  ImportPlace place{"header", myfile.pos, -1, -1, -1, -1};
  if (!ReadRecord(myfile, walk.scratch.header, report, place, -1)) return;
  walk.builder.Empty();
  walk.builder.SetFrames();

  const FileHeader& header = walk.scratch.header;
  place.record = "vertex pool";
  place.offset = myfile.pos;
  if (!ReadPool(walk.pools.vertices, header.vertexCount, Builder::kKeepsVertices, myfile, report,
                place))
    return;
  place.record = "index pool";
  place.offset = myfile.pos;
  walk.pools.indexPoolOffset = myfile.pos;
  if (!ReadPool(walk.pools.indices, header.indexCount, true, myfile, report, place)) return;

  // Emptied once more right before the first group; the frame count stays 0.
  walk.builder.Empty();
  bool whole = true;
  const int groupCount = header.groupCount;
  for (int i = 0; i < groupCount && whole; ++i) whole = ImportGroup(walk, i, groupCount);

  if (whole && myfile.Remaining() > 0) {
    report.Add(MakeFinding(FindingKind::BytesAfterEnd,
                           ImportPlace{"end of the last group", myfile.pos, -1, -1, -1, -1},
                           myfile.Remaining()));
  }
  const std::int64_t modelBytes = EstimatedModelBytes(report.model);
  if (modelBytes > kFarLargerRatio * std::max<std::int64_t>(myfile.size, 1)) {
    report.Add(MakeFinding(FindingKind::ModelFarLarger,
                           ImportPlace{"whole file", 0, -1, -1, -1, -1}, modelBytes,
                           myfile.size));
  }
}

template void WalkMeshFile(ImportWalk<HostModelBuilder>& walk);
template void WalkMeshFile(ImportWalk<CountingBuilder>& walk);

ImportReport ImportMeshFile(qmModel* model, FileBuffer& myfile) {
  ImportReport report;
  HostModelBuilder builder(model);
  ImportWalk<HostModelBuilder> walk(myfile, builder, report);
  WalkMeshFile(walk);
  return report;
}
