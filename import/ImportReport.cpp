#include "ImportReport.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "ShownText.h"

namespace {

// "the mesh record of group 1, level 0, mesh 3 (byte 12345)", as the user's
// message names a place.
std::string Describe(const ImportPlace& place) {
  std::string text = "the ";
  text += place.record;
  if (place.group >= 0) {
    text += " of group " + std::to_string(place.group);
    if (place.level >= 0) text += ", level " + std::to_string(place.level);
    if (place.mesh >= 0) text += ", mesh " + std::to_string(place.mesh);
    if (place.hardpoint >= 0) text += ", hardpoint " + std::to_string(place.hardpoint);
  }
  text += " (byte " + std::to_string(place.offset) + ")";
  return text;
}

std::string Plural(std::int64_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string Bytes(std::int64_t count) { return Plural(count, "byte", "bytes"); }

// 833 KB, 955 MB, 1.2 GB: a size as a person reads it (powers of 1000).
std::string Size(std::int64_t bytes) {
  const char* units[] = {"bytes", "KB", "MB", "GB", "TB"};
  double value = static_cast<double>(bytes);
  int unit = 0;
  while (value >= 1000 && unit < 4) {
    value /= 1000;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, unit > 0 && value < 10 ? "%.1f %s" : "%.0f %s", value,
                units[unit]);
  return text;
}

// What the record at a place names: "the material name" of a mesh record.
const char* NameOf(const ImportPlace& place) {
  if (std::strcmp(place.record, "detail level record") == 0) return "the level mesh's name";
  if (std::strcmp(place.record, "hardpoint record") == 0) return "the marker name";
  return "the material name";
}

bool IsMarker(const ImportPlace& place) { return place.hardpoint >= 0; }

// The count that led the walk to a record it could not read.
std::string Announced(const ImportPlace& place, std::int64_t count) {
  if (count < 0) return "";
  const std::string record = place.record;
  if (record == "group record") return "; the header announces " + Plural(count, "group", "groups");
  if (record == "detail level record")
    return "; its group announces " + Plural(count, "detail level", "detail levels");
  if (record == "mesh record")
    return "; its level announces " + Plural(count, "mesh record", "mesh records");
  if (record == "hardpoint record")
    return "; its group announces " + Plural(count, "hardpoint", "hardpoints");
  if (record == "hardpoint point")
    return "; its hardpoint announces " + Plural(count, "point", "points");
  return "";
}

std::string Range(std::int64_t first, std::int64_t end) {
  if (end <= first) return "(empty, from " + std::to_string(first) + ")";
  return std::to_string(first) + " to " + std::to_string(end - 1);
}

}  // namespace

bool IsNote(FindingKind kind) { return kind >= FindingKind::NameCut; }

std::string DescribePlace(const ImportPlace& place) {
  std::string text = "byte " + std::to_string(place.offset);
  if (place.group >= 0) text += ", group " + std::to_string(place.group);
  if (place.level >= 0) text += ", level " + std::to_string(place.level);
  if (place.mesh >= 0) text += ", mesh " + std::to_string(place.mesh);
  if (place.hardpoint >= 0) text += ", hardpoint " + std::to_string(place.hardpoint);
  return text + " (" + place.record + ")";
}

std::string DescribeFinding(const Finding& finding) {
  const std::int64_t count = finding.count;
  const std::int64_t* v = finding.values;
  const ImportPlace& place = finding.place;
  switch (finding.kind) {
    case FindingKind::Truncated: {
      const std::string record = place.record;
      if (record == "vertex pool" || record == "index pool") {
        return "the file ends inside the " + record + ": its " +
               Plural(v[1], record == "vertex pool" ? "vertex" : "entry",
                      record == "vertex pool" ? "vertices" : "entries") +
               " need " + Bytes(count) + ", " + Bytes(v[0]) + " remain";
      }
      return "the file ends inside the " + record + ", which needs " + Bytes(count) + " where " +
             Bytes(v[0]) + " remain" + Announced(place, v[1]);
    }
    case FindingKind::VertexRangeOutside:
      return "the vertex range " + Range(v[0], v[1]) + " leaves the vertex pool of " +
             Plural(v[2], "vertex", "vertices") + ": " + Plural(count, "vertex", "vertices") +
             " left out";
    case FindingKind::IndexRangeOutside:
      return "the " + Plural(v[1], "triangle", "triangles") + " from index pool entry " +
             std::to_string(v[0]) + " leave the index pool of " +
             Plural(v[2], "entry", "entries") + ": " + Plural(count, "triangle", "triangles") +
             " left out";
    case FindingKind::CornerOutsideMesh:
      return std::to_string(v[2]) + " of the mesh's " + std::to_string(v[4]) + " triangle corners " +
             (v[2] == 1 ? "lies" : "lie") + " outside its vertices (the first is index pool entry " +
             std::to_string(v[0]) + " at byte " + std::to_string(v[3]) + ", vertex " +
             std::to_string(v[1]) + "): " + Plural(count, "triangle", "triangles") + " left out";
    case FindingKind::MarkerBeyond16Bit:
      return "the marker " + QuotedName(finding.name) + " reaches vertex " + std::to_string(count) +
             " here, past what 16-bit triangle indices address: its triangles from here on "
             "are left out";
    case FindingKind::NameCut:
      return std::string(NameOf(place)) + " of " + std::to_string(count) +
             " characters is cut to the host's " + std::to_string(kHostNameLength) + ": " +
             QuotedName(finding.name);
    case FindingKind::NamesMerged:
      return "the host name " + QuotedName(finding.name) + " stands for two different names (of " +
             std::to_string(v[0]) + " and " + std::to_string(count) + " characters): they share " +
             (IsMarker(place) ? "one marker mesh and material" : "one material");
    case FindingKind::UnreachableVertices:
      if (IsMarker(place)) {
        return "the marker " + QuotedName(finding.name) + " holds " +
               Plural(count, "vertex", "vertices") + " of this hardpoint from index " +
               std::to_string(v[0]) + " on, which no 16-bit triangle index reaches";
      }
      return Plural(count, "vertex", "vertices") + " of the mesh's range " + Range(v[0], v[1]) +
             " lie past pool entry 65535, where no 16-bit triangle corner reaches them";
    case FindingKind::BytesAfterEnd:
      return Bytes(count) + " after the last group, which the import does not read";
    case FindingKind::ModelFarLarger:
      return "the model it describes takes about " + Size(count) + " in the host, " +
             std::to_string(v[0] > 0 ? count / v[0] : count) + " times the file's " + Size(v[0]) +
             ": no honest file comes near; mesh records that take the same pool ranges again "
             "and again do this";
  }
  return "";
}

std::int64_t EstimatedModelBytes(const ModelSize& size) {
  constexpr std::int64_t kVertex = 3 * 4 + 2 * 4 + 4;
  constexpr std::int64_t kNormal = 3 * 4;
  constexpr std::int64_t kTriangle = 2 * 3 * 2;
  constexpr std::int64_t kMesh = 32 + 4;
  constexpr std::int64_t kMaterial = 32 + 4 * 16 + 4 + 4;
  return kMesh * size.meshes + kMaterial * size.materials + kVertex * size.vertices +
         kNormal * size.normals + kTriangle * size.triangles;
}

std::string DescribeModelSize(const ModelSize& size) {
  return Plural(size.meshes, "mesh", "meshes") + ", " +
         Plural(size.materials, "material", "materials") + ", " +
         Plural(size.vertices, "vertex", "vertices") + ", " +
         Plural(size.triangles, "triangle", "triangles") + ", about " +
         Size(EstimatedModelBytes(size));
}

void ImportReport::Add(const Finding& finding) {
  const int kind = static_cast<int>(finding.kind);
  if (counts_[kind] < INT64_MAX) ++counts_[kind];
  if (counts_[kind] <= keepPerKind_) kept_.push_back(finding);
  if (IsNote(finding.kind)) return;
  if (errors_ == 0) first_ = finding;
  if (errors_ < INT32_MAX) ++errors_;
  if (finding.kind == FindingKind::Truncated) stopped_ = true;
}

std::int64_t ImportReport::Errors() const {
  std::int64_t errors = 0;
  for (int kind = 0; kind < kFindingKinds; ++kind)
    if (!IsNote(static_cast<FindingKind>(kind))) errors += counts_[kind];
  return errors;
}

std::int64_t ImportReport::Notes() const {
  std::int64_t notes = 0;
  for (int kind = 0; kind < kFindingKinds; ++kind)
    if (IsNote(static_cast<FindingKind>(kind))) notes += counts_[kind];
  return notes;
}

std::string ImportReport::Message() const {
  if (errors_ == 0) return std::string();
  std::string text;
  const std::string where = Describe(first_.place);
  switch (first_.kind) {
    case FindingKind::Truncated:
      // Before the header is whole the import has not emptied the model.
      text = "The file is damaged or incomplete: it ends inside " + where +
             (std::strcmp(first_.place.record, "header") == 0
                  ? ". The model was left as it was."
                  : ". The model holds what was read before that point.");
      break;
    case FindingKind::VertexRangeOutside:
      text = "The file is damaged: " + where +
             " takes vertices from beyond the end of the vertex pool. Those vertices were left out.";
      break;
    case FindingKind::IndexRangeOutside:
      text = "The file is damaged: " + where +
             " takes triangles from beyond the end of the index pool. Those triangles were left out.";
      break;
    case FindingKind::CornerOutsideMesh:
      text = "The file is damaged: " + where +
             " has triangles whose corners lie outside the mesh's vertices. Those triangles were "
             "left out.";
      break;
    case FindingKind::MarkerBeyond16Bit:
      text = "The marker built from " + where +
             " has more vertices than 16-bit triangle indices can reach. Its triangles past that "
             "point were left out.";
      break;
    default:
      break;
  }
  if (errors_ > 1) {
    text += " " + std::to_string(errors_ - 1) +
            (errors_ == 2 ? " more problem was found after it." : " more problems were found after it.");
  }
  return text;
}
