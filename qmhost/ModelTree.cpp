#include "ModelTree.h"

#include <ostream>
#include <string>

#include "ModelStructure.h"
#include "ShownText.h"
#include "qmModelRead.h"

namespace {

std::string Count(int count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

void PrintMesh(qmModel* model, int index, const char* indent, std::ostream& out) {
  qmMesh* mesh = qmModel_GetMeshAt(model, index);
  out << indent << ShownName(qmMesh_GetName(mesh)) << ": "
      << Count(qmMesh_GetVertexCount(mesh), "vertex", "vertices") << ", "
      << Count(qmMesh_GetTriangleCount(mesh), "triangle", "triangles");
  const int material = qmMesh_GetMaterialIndex(mesh);
  qmMaterial* found = qmModel_GetMaterialAt(model, material);
  if (found != nullptr)
    out << ", material " << material << " " << QuotedName(qmMaterial_GetName(found));
  else if (material != -1)
    out << ", material " << material << " (none such)";
  out << '\n';
}

}  // namespace

void PrintModelTree(qmModel* model, std::ostream& out) {
  const ModelStructure structure = DescribeStructure(model);
  out << "model: " << Count(qmModel_GetMeshCount(model), "mesh", "meshes") << ", "
      << Count(qmModel_GetMaterialCount(model), "material", "materials") << '\n';
  for (const GroupNode& group : structure.groups) {
    out << "  group " << group.number << '\n';
    for (const LevelNode& level : group.levels) {
      out << "    detail level " << level.number;
      if (level.levelMesh != -1)
        out << " (red " << level.red << (level.redCut ? "..., cut" : "")
            << "): " << ShownName(qmMesh_GetName(qmModel_GetMeshAt(model, level.levelMesh)));
      out << '\n';
      for (int index : level.meshes) PrintMesh(model, index, "      ", out);
    }
  }
  if (!structure.markers.empty()) {
    out << "  markers\n";
    for (int index : structure.markers) PrintMesh(model, index, "    ", out);
  }
  if (!structure.others.empty()) {
    out << "  other meshes\n";
    for (int index : structure.others) PrintMesh(model, index, "    ", out);
  }
  out << "  materials\n";
  for (int m = 0, n = qmModel_GetMaterialCount(model); m < n; ++m) {
    const qmMaterial* material = qmModel_GetMaterialAt(model, m);
    const float* diffuse = qmMaterial_GetDiffuse(material);
    out << "    " << m << " " << QuotedName(qmMaterial_GetName(material)) << ": diffuse ("
        << diffuse[0] << ", " << diffuse[1] << ", " << diffuse[2] << ", " << diffuse[3]
        << "), transparency " << qmMaterial_GetTransparency(material) << '\n';
  }
}
