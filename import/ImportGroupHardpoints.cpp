// Hardpoint markers: every hardpoint of a group becomes vertices (and, by the
// first letters of its name, small triangles) in a marker mesh "#name#", with a
// material of the same name. Hardpoints that share a name share the mesh and
// the material, across groups too.

#include <cstdint>
#include <cstring>

#include "ImportMeshFile.h"
#include "NameBuffer.h"

namespace {

enum class MarkerFamily {
  None,    // one lone vertex per point
  Point,   // every point: a triangle of three coincident vertices
  Pair,    // every second point: a triangle (odd point, even point, even point)
  Triple,  // every third point: a triangle of the last three points
};

struct FamilyPrefix {
  const char* prefix;
  MarkerFamily family;
};

constexpr FamilyPrefix kFamilies[] = {
    {"blink", MarkerFamily::Point},   {"center", MarkerFamily::Point},
    {"fire", MarkerFamily::Point},    {"dock", MarkerFamily::Pair},
    {"breach", MarkerFamily::Pair},   {"angle", MarkerFamily::Pair},
    {"booster", MarkerFamily::Pair},  {"slot", MarkerFamily::Triple},
};

// Case-sensitive, over exactly the prefix's length: a name shorter than a
// prefix does not match it.
MarkerFamily FamilyOf(const char* name, int length) {
  for (const FamilyPrefix& entry : kFamilies) {
    const int prefixLength = static_cast<int>(std::strlen(entry.prefix));
    if (length >= prefixLength && std::memcmp(name, entry.prefix, prefixLength) == 0)
      return entry.family;
  }
  return MarkerFamily::None;
}

// Adds the vertices and triangles of one hardpoint to its marker mesh,
// remembering the indices of the last three vertices for the triangles.
class MarkerBuilder {
 public:
  MarkerBuilder(qmMesh* mesh, ImportReport& report, const ImportPlace& place)
      : mesh_(mesh), report_(report), place_(place) {}

  void AddVertex(const float* position) {
    const int index = qmMesh_AddVertex(mesh_);
    qmVertex_SetVertex(qmMesh_GetVertexAt(mesh_, index), position);
    recent_[0] = recent_[1];
    recent_[1] = recent_[2];
    recent_[2] = index;
  }

  // A triangle of the last three vertices, in the order they were added. The
  // host's indices are 16 bits: a corner past 65,535 would wrap onto another
  // vertex, so such a triangle is left out and reported once per hardpoint.
  void AddTriangle() {
    std::uint16_t vertices[3];
    for (int n = 0; n < 3; ++n) {
      if (recent_[n] < 0 || recent_[n] > UINT16_MAX) {
        if (!reported_) report_.Add(ImportProblemKind::MarkerBeyond16Bit, place_);
        reported_ = true;
        return;
      }
      vertices[n] = static_cast<std::uint16_t>(recent_[n]);
    }
    qmTriangle* triangle = qmMesh_GetTriangleAt(mesh_, qmMesh_AddTriangle(mesh_));
    qmTriangle_SetVertexIndices(triangle, vertices);
  }

 private:
  qmMesh* mesh_;
  ImportReport& report_;
  ImportPlace place_;
  int recent_[3] = {-1, -1, -1};
  bool reported_ = false;
};

// Finds or creates the marker mesh and its material, and sets the material
// from the record: of several hardpoints of one name, the last one read wins.
qmMesh* MarkerMesh(qmModel* model, const HardpointRecord& record, const char* name) {
  int meshIndex = qmModel_FindMeshByName(model, name);
  if (meshIndex == -1) meshIndex = qmModel_AddMesh(model);
  qmMesh* mesh = qmModel_GetMeshAt(model, meshIndex);
  qmMesh_SetName(mesh, name);

  int materialIndex = qmModel_FindMaterialByName(model, name);
  if (materialIndex == -1) materialIndex = qmModel_AddMaterial(model);
  qmMaterial* material = qmModel_GetMaterialAt(model, materialIndex);
  qmMesh_SetMaterialIndex(mesh, materialIndex);
  qmMaterial_SetName(material, name);
  float diffuse[4];
  std::memcpy(diffuse, record.diffuse, sizeof diffuse);
  qmMaterial_SetDiffuse(material, diffuse);
  float shininess;
  std::memcpy(&shininess, record.shininess, sizeof shininess);
  qmMaterial_SetShininess(material, shininess);
  qmMaterial_SetTransparency(material, static_cast<float>(1.0 - diffuse[3]));
  return mesh;
}

}  // namespace

bool ImportGroupHardpoints(qmModel* model, FileBuffer& myfile, const GroupRecord& group,
                           ImportScratch& scratch) {
  const int i = scratch.groupNumber;
  ImportPlace place{"trailing block of the group", myfile.pos, i, -1, -1, -1};
  if (!BufferSkip(&myfile, GroupTrailingBytes(group))) {
    scratch.report.Add(ImportProblemKind::Truncated, place);
    return false;
  }

  for (int h = 0; h < group.hardpointCount; ++h) {
    place = ImportPlace{"hardpoint record", myfile.pos, i, -1, -1, h};
    if (!BufferRead(&scratch.hardpoint, sizeof(HardpointRecord), 1, &myfile)) {
      scratch.report.Add(ImportProblemKind::Truncated, place);
      return false;
    }
    const HardpointRecord& record = scratch.hardpoint;
    const int nameLength = FieldLength(record.name, sizeof record.name);
    FormName(scratch.name, "#%.*s#", nameLength, record.name);
    MarkerBuilder marker(MarkerMesh(model, record, scratch.name), scratch.report, place);
    const MarkerFamily family = FamilyOf(record.name, nameLength);

    // A 64-bit counter: a point count near INT32_MAX must not wrap. The file
    // runs out long before such a count does, and that stops the import.
    const std::int32_t pointCount = record.pointCount;
    for (std::int64_t m = 1; m <= pointCount; ++m) {
      const ImportPlace pointPlace{"hardpoint point", myfile.pos, i, -1, -1, h};
      if (!BufferRead(&scratch.vectors, sizeof(HardpointPoint), 1, &myfile)) {
        scratch.report.Add(ImportProblemKind::Truncated, pointPlace);
        return false;
      }
      const float position[3] = {scratch.vectors.x, scratch.vectors.y, scratch.vectors.z};
      marker.AddVertex(position);
      switch (family) {
        case MarkerFamily::Point:
          marker.AddVertex(position);
          marker.AddVertex(position);
          marker.AddTriangle();
          break;
        case MarkerFamily::Pair:
          if (m % 2 == 0) {
            marker.AddVertex(position);
            marker.AddTriangle();
          }
          break;
        case MarkerFamily::Triple:
          if (m % 3 == 0) marker.AddTriangle();
          break;
        case MarkerFamily::None:
          break;
      }
    }
  }
  return true;
}
