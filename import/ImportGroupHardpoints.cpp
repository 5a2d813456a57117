// Hardpoint markers: every hardpoint of a group becomes vertices (and, by the
// first letters of its name, small triangles) in a marker mesh "#name#", with a
// material of the same name. Hardpoints that share a name share the mesh and
// the material, across groups too.

#include <cstdint>
#include <cstring>

#include "CountingBuilder.h"
#include "HostModelBuilder.h"
#include "ImportWalk.h"

namespace {

// Hands the vertices and triangles of one hardpoint to its marker mesh,
// remembering the indices of the last three vertices for the triangles.
template <typename Builder>
class MarkerPoints {
 public:
  MarkerPoints(ImportWalk<Builder>& walk, typename Builder::Mesh mesh, const ImportPlace& place)
      : walk_(walk), mesh_(mesh), place_(place) {}

  void AddVertex(const float* position) {
    const int index = walk_.builder.AddMarkerVertex(mesh_, position);
    ++walk_.report.model.vertices;
    if (first_ < 0) first_ = index;
    last_ = index;
    recent_[0] = recent_[1];
    recent_[1] = recent_[2];
    recent_[2] = index;
  }

  // A triangle of the last three vertices, in the order they were added. The
  // host's indices are 16 bits: a corner past 65,535 would wrap onto another
  // vertex, so such a triangle is left out, and said once per hardpoint.
  void AddTriangle() {
    std::uint16_t vertices[3];
    for (int n = 0; n < 3; ++n) {
      if (recent_[n] < 0 || recent_[n] > UINT16_MAX) {
        if (!reported_) Report(FindingKind::MarkerBeyond16Bit, recent_[n], 0);
        reported_ = true;
        return;
      }
      vertices[n] = static_cast<std::uint16_t>(recent_[n]);
    }
    walk_.builder.AddMarkerTriangle(mesh_, vertices);
    ++walk_.report.model.triangles;
  }

  // Once all points are in: vertices past index 65,535 that lost no triangle
  // (a marker of lone points) are a note.
  void Finish() {
    if (reported_ || last_ <= UINT16_MAX) return;
    const int from = first_ > UINT16_MAX ? first_ : UINT16_MAX + 1;
    Report(FindingKind::UnreachableVertices, last_ - from + 1, from);
  }

 private:
  void Report(FindingKind kind, std::int64_t count, std::int64_t value) {
    Finding finding = MakeFinding(kind, place_, count, value);
    std::memcpy(finding.name, walk_.scratch.name, sizeof finding.name);
    walk_.report.Add(finding);
  }

  ImportWalk<Builder>& walk_;
  typename Builder::Mesh mesh_;
  ImportPlace place_;
  int recent_[3] = {-1, -1, -1};
  int first_ = -1;
  int last_ = -1;
  bool reported_ = false;
};

}  // namespace

template <typename Builder>
bool ImportGroupHardpoints(ImportWalk<Builder>& walk, const ImportPlace& group) {
  ImportScratch& scratch = walk.scratch;
  FileBuffer& myfile = walk.myfile;
  ImportPlace place = group;
  place.record = "trailing block of the group";
  place.offset = myfile.pos;
  if (!SkipBlock(myfile, GroupTrailingBytes(scratch.group), walk.report, place)) return false;

  const int hardpointCount = scratch.group.hardpointCount;
  for (int h = 0; h < hardpointCount; ++h) {
    place.record = "hardpoint record";
    place.offset = myfile.pos;
    place.hardpoint = h;
    if (!ReadRecord(myfile, scratch.hardpoint, walk.report, place, hardpointCount)) return false;
    ++walk.report.records.hardpoints;
    const HardpointRecord& record = scratch.hardpoint;
    const int nameLength = FieldLength(record.name, sizeof record.name);
    const int length = FormMarkerName(scratch.name, record.name, nameLength);
    bool meshAdded = false, materialAdded = false;
    typename Builder::Mesh mesh = walk.builder.FindOrAddMarkerMesh(scratch.name, meshAdded);
    typename Builder::Material material =
        walk.builder.FindOrAddMaterial(mesh, scratch.name, materialAdded);
    walk.report.model.meshes += meshAdded;
    walk.report.model.materials += materialAdded;
    NoteName(walk, place, length, true, !materialAdded, [&](char* whole, std::size_t size) {
      FormMarkerName(whole, size, record.name, nameLength);
    });
    walk.builder.SetMarkerMaterial(material, record);

    MarkerPoints<Builder> marker(walk, mesh, place);
    const MarkerFamily family = MarkerFamilyOf(record.name, static_cast<std::size_t>(nameLength));
    // A 64-bit counter: a point count near INT32_MAX must not wrap. The file
    // runs out long before such a count does, and that stops the walk.
    const std::int32_t pointCount = record.pointCount;
    ImportPlace point = place;
    point.record = "hardpoint point";
    for (std::int64_t m = 1; m <= pointCount; ++m) {
      point.offset = myfile.pos;
      if (!ReadRecord(myfile, scratch.vectors, walk.report, point, pointCount)) return false;
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
    marker.Finish();
  }
  return true;
}

template bool ImportGroupHardpoints(ImportWalk<HostModelBuilder>& walk, const ImportPlace& group);
template bool ImportGroupHardpoints(ImportWalk<CountingBuilder>& walk, const ImportPlace& group);
