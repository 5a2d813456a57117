#include "ImportMeshFile.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "NameBuffer.h"

namespace {

// A pool read whole from the file. Its memory is left unset until the read
// fills it: a vector would first zero the whole pool for nothing.
template <typename T>
class Pool {
 public:
  void Allocate(std::uint32_t count) {
    elements_.reset(new T[count]);
    size_ = count;
  }
  T* data() const { return elements_.get(); }
  std::size_t size() const { return size_; }

 private:
  std::unique_ptr<T[]> elements_;
  std::size_t size_ = 0;
};

struct Pools {
  Pool<VertexRecord> vertices;
  Pool<std::uint16_t> indices;
};

// Reads `count` elements into `pool`, after checking that the rest of the
// file can hold them, so a damaged count never makes the import allocate more
// than the file's size.
template <typename T>
bool ReadPool(Pool<T>& pool, std::uint32_t count, FileBuffer& myfile) {
  const std::int64_t bytes = static_cast<std::int64_t>(sizeof(T)) * count;
  if (bytes > myfile.Remaining()) {
    BufferSkip(&myfile, bytes);
    return false;
  }
  pool.Allocate(count);
  return BufferRead(pool.data(), static_cast<int>(sizeof(T)), static_cast<int>(count), &myfile);
}

// Colours sit unaligned in packed records; the host gets an aligned copy.
void SetColour(void (*set)(qmMaterial*, const float*), qmMaterial* material,
               const float* packed) {
  float rgba[4];
  std::memcpy(rgba, packed, sizeof rgba);
  set(material, rgba);
}

float Shininess(const std::uint8_t (&bits)[4]) {
  float value;
  std::memcpy(&value, bits, sizeof value);
  return value;
}

void SetMaterial(qmModel* model, qmMesh* mesh, const MeshRecord& record, const char* name) {
  int materialIndex = qmModel_FindMaterialByName(model, name);
  if (materialIndex == -1) materialIndex = qmModel_AddMaterial(model);
  qmMaterial* material = qmModel_GetMaterialAt(model, materialIndex);
  qmMesh_SetMaterialIndex(mesh, materialIndex);
  qmMaterial_SetName(material, name);
  SetColour(qmMaterial_SetAmbient, material, record.ambient);
  SetColour(qmMaterial_SetDiffuse, material, record.diffuse);
  SetColour(qmMaterial_SetSpecular, material, record.specular);
  SetColour(qmMaterial_SetEmissive, material, record.emissive);
  qmMaterial_SetShininess(material, Shininess(record.shininess));
  const float alpha = record.alpha;
  qmMaterial_SetTransparency(material, static_cast<float>(1.0 - alpha));
}

// Copies the mesh's vertex range, cut at the end of the pool. Returns the
// number of vertices copied.
std::uint64_t CopyVertices(qmMesh* mesh, const MeshRecord& record, const Pools& pools,
                           ImportScratch& scratch, const ImportPlace& place) {
  const std::uint64_t poolCount = pools.vertices.size();
  const std::uint64_t first = std::min<std::uint64_t>(record.firstVertex, poolCount);
  const std::uint64_t end =
      std::min<std::uint64_t>(std::uint64_t{record.firstVertex} + record.vertexCount, poolCount);
  if (std::uint64_t{record.firstVertex} + record.vertexCount > poolCount)
    scratch.report.Add(ImportProblemKind::VertexRangeOutside, place);

  // The pool's address in a local: the compiler cannot know that the host's
  // calls leave the vector alone, and would reload it for every vertex.
  const VertexRecord* pool = pools.vertices.data();
  for (std::uint64_t v = first; v < end; ++v) {
    const VertexRecord& source = pool[static_cast<std::size_t>(v)];
    const int index = qmMesh_AddVertex(mesh);
    qmVertex* vertex = qmMesh_GetVertexAt(mesh, index);
    qmVertex_SetVertex(vertex, source.position);
    qmVertex_SetTexCoords(vertex, source.texCoords);
    qmVertex_SetBoneIndex(vertex, -1);
    qmMesh_SetVertexNormalAt(mesh, qmMesh_AddVertexNormal(mesh), source.normal);
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

// Adds a triangle for each three pool entries from `entries` to `end` whose
// corners all lie among the mesh's `vertexCount` copied vertices; returns the
// number added.
std::uint64_t AddTriangles(qmMesh* mesh, const std::uint16_t* entries, const std::uint16_t* end,
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
    qmTriangle* triangle = qmMesh_GetTriangleAt(mesh, qmMesh_AddTriangle(mesh));
    qmTriangle_SetVertexIndices(triangle, vertices);
    qmTriangle_SetNormalIndices(triangle, vertices);
    ++added;
  }
  return added;
}

// Builds the mesh's triangles from its index range, cut at the end of the
// pool; a triangle with a corner outside the copied vertices is left out.
void CopyTriangles(qmMesh* mesh, const MeshRecord& record, std::uint64_t vertexCount,
                   const Pools& pools, ImportScratch& scratch, const ImportPlace& place) {
  const std::uint64_t poolCount = pools.indices.size();
  const std::uint64_t first = record.firstIndex;
  const std::uint64_t available = first <= poolCount ? (poolCount - first) / 3 : 0;
  const std::uint64_t count = std::min<std::uint64_t>(record.triangleCount, available);
  if (record.triangleCount > available)
    scratch.report.Add(ImportProblemKind::IndexRangeOutside, place);
  if (count == 0) return;

  const std::uint16_t* entries = pools.indices.data() + static_cast<std::size_t>(first);
  const std::uint64_t added = AddTriangles(mesh, entries, entries + static_cast<std::size_t>(3 * count),
                                           record.firstVertex, vertexCount);
  if (added != count) scratch.report.Add(ImportProblemKind::CornerOutsideMesh, place);
}

bool ImportMesh(qmModel* model, FileBuffer& myfile, const Pools& pools, ImportScratch& scratch,
                int i, int j, int k) {
  const ImportPlace place{"mesh record", myfile.pos, i, j, k, -1};
  if (!BufferRead(&scratch.mesh, sizeof(MeshRecord), 1, &myfile)) {
    scratch.report.Add(ImportProblemKind::Truncated, place);
    return false;
  }
  const MeshRecord& record = scratch.mesh;
  qmMesh* mesh = qmModel_GetMeshAt(model, qmModel_AddMesh(model));

  const int nameLength = FieldLength(record.textureName, sizeof record.textureName);
  if (record.materialFlag == 0)
    FormName(scratch.name, "%.*s", nameLength, record.textureName);
  else
    FormName(scratch.name, "%.*s@boo", nameLength, record.textureName);
  SetMaterial(model, mesh, record, scratch.name);

  FormName(scratch.name, "L%02iLD%02iM%02i", i, j, k);
  qmMesh_SetName(mesh, scratch.name);

  const std::uint64_t copied = CopyVertices(mesh, record, pools, scratch, place);
  CopyTriangles(mesh, record, copied, pools, scratch, place);
  return true;
}

bool ImportDetailLevel(qmModel* model, FileBuffer& myfile, const Pools& pools,
                       ImportScratch& scratch, int i, int j) {
  ImportPlace place{"detail level record", myfile.pos, i, j, -1, -1};
  if (!BufferRead(&scratch.level, sizeof(DetailLevelRecord), 1, &myfile)) {
    scratch.report.Add(ImportProblemKind::Truncated, place);
    return false;
  }
  const DetailLevelRecord& level = scratch.level;
  qmMesh* levelMesh = qmModel_GetMeshAt(model, qmModel_AddMesh(model));
  const double red = level.red;
  FormName(scratch.name, "L%02iLD%02i#red %06.2f#", i, j, red);
  qmMesh_SetName(levelMesh, scratch.name);

  for (int k = 0; k < level.meshCount; ++k) {
    if (!ImportMesh(model, myfile, pools, scratch, i, j, k)) return false;
  }

  place.record = "trailing block of the detail level";
  place.offset = myfile.pos;
  if (!BufferSkip(&myfile, LevelTrailingBytes(level))) {
    scratch.report.Add(ImportProblemKind::Truncated, place);
    return false;
  }
  return true;
}

bool ImportGroup(qmModel* model, FileBuffer& myfile, const Pools& pools, ImportScratch& scratch,
                 int i) {
  const ImportPlace place{"group record", myfile.pos, i, -1, -1, -1};
  if (!BufferRead(&scratch.group, sizeof(GroupRecord), 1, &myfile)) {
    scratch.report.Add(ImportProblemKind::Truncated, place);
    return false;
  }
  scratch.groupNumber = i;
  for (int j = 0; j < scratch.group.detailLevelCount; ++j) {
    if (!ImportDetailLevel(model, myfile, pools, scratch, i, j)) return false;
  }
  return ImportGroupHardpoints(model, myfile, scratch.group, scratch);
}

}  // namespace

ImportReport ImportMeshFile(qmModel* model, FileBuffer& myfile) {
  ImportScratch scratch{};
  ImportPlace place{"header", myfile.pos, -1, -1, -1, -1};
  if (!BufferRead(&scratch.header, sizeof(FileHeader), 1, &myfile)) {
    scratch.report.Add(ImportProblemKind::Truncated, place);
    return scratch.report;
  }
  qmModel_Destroy(model);
  qmModel_SetTotalFrames(model, 0);

  Pools pools;
  place.record = "vertex pool";
  place.offset = myfile.pos;
  if (!ReadPool(pools.vertices, scratch.header.vertexCount, myfile)) {
    scratch.report.Add(ImportProblemKind::Truncated, place);
    return scratch.report;
  }
  place.record = "index pool";
  place.offset = myfile.pos;
  if (!ReadPool(pools.indices, scratch.header.indexCount, myfile)) {
    scratch.report.Add(ImportProblemKind::Truncated, place);
    return scratch.report;
  }

  // Emptied once more right before the first group; the frame count stays 0.
  qmModel_Destroy(model);
  for (int i = 0; i < scratch.header.groupCount; ++i) {
    if (!ImportGroup(model, myfile, pools, scratch, i)) break;
  }
  return scratch.report;
}
