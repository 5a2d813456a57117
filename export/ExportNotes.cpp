#include <string>

#include "Export.h"

std::string ExportNotes::Text() const {
  std::string text;
  if (adjustedValues > 0)
    text = std::to_string(adjustedValues) +
           (adjustedValues == 1 ? " value was" : " values were") +
           " written as the nearest value the format can hold";
  if (droppedTriangles > 0) {
    if (!text.empty()) text += "; ";
    text += std::to_string(droppedTriangles) +
            (droppedTriangles == 1 ? " triangle was" : " triangles were") +
            " left out for indices past their mesh's vertices or normals";
  }
  if (namesWithControls > 0) {
    if (!text.empty()) text += "; ";
    text += std::to_string(namesWithControls) +
            (namesWithControls == 1 ? " name had" : " names had") +
            " control characters, written as '_'";
  }
  return text;
}

std::vector<std::string> ExportNotes::Lines() const {
  std::vector<std::string> lines;
  if (Changed()) lines.push_back(Text());
  if (!levelsLeftOut.empty()) lines.push_back(levelsLeftOut);
  if (!texturesLeftOut.empty()) lines.push_back(texturesLeftOut);
  return lines;
}
