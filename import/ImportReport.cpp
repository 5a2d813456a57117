#include "ImportReport.h"

#include <cstdint>
#include <string>

namespace {

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

}  // namespace

void ImportReport::Add(ImportProblemKind kind, const ImportPlace& place) {
  if (count_ == 0) first_ = ImportProblem{kind, place};
  if (count_ < INT32_MAX) ++count_;
  if (kind == ImportProblemKind::Truncated) stopped_ = true;
}

std::string ImportReport::Message() const {
  if (count_ == 0) return std::string();
  std::string text;
  const std::string where = Describe(first_.place);
  switch (first_.kind) {
    case ImportProblemKind::Truncated:
      text = "The file is damaged or incomplete: it ends inside " + where +
             ". The model holds what was read before that point.";
      break;
    case ImportProblemKind::VertexRangeOutside:
      text = "The file is damaged: " + where +
             " takes vertices from beyond the end of the vertex pool. Those vertices were left out.";
      break;
    case ImportProblemKind::IndexRangeOutside:
      text = "The file is damaged: " + where +
             " takes triangles from beyond the end of the index pool. Those triangles were left out.";
      break;
    case ImportProblemKind::CornerOutsideMesh:
      text = "The file is damaged: " + where +
             " has triangles whose corners lie outside the mesh's vertices. Those triangles were "
             "left out.";
      break;
    case ImportProblemKind::MarkerBeyond16Bit:
      text = "The marker built from " + where +
             " has more vertices than 16-bit triangle indices can reach. Its triangles past that "
             "point were left out.";
      break;
  }
  if (count_ > 1) {
    text += " " + std::to_string(count_ - 1) +
            (count_ == 2 ? " more problem was found after it." : " more problems were found after it.");
  }
  return text;
}
