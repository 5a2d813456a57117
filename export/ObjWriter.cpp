// The host model as Wavefront OBJ and its material library.
//
// OBJ keeps separate indices for positions and normals, as the host does, so
// the host's own indices are written (1-based, counted across the whole file).
// Texture coordinates belong to the vertices: vt n goes with v n.

#include <cstdio>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "Export.h"
#include "NameText.h"
#include "SafeSave.h"
#include "ValueFix.h"
#include "qmModelRead.h"

namespace {

// %.9g reads back as the same float32.
void Floats(std::ostream& out, const char* keyword, const float* values, int count,
            ExportNotes& notes) {
  out << keyword;
  char text[32];
  for (int n = 0; n < count; ++n) {
    std::snprintf(text, sizeof text, " %.9g", static_cast<double>(Finite(values[n], notes)));
    out << text;
  }
  out << '\n';
}

// A name as OBJ and MTL take it: a statement ends at the line's end, so no
// byte of a name may end a line, or a name could add statements of its own
// ("h\nv 9 9 9"). The C0 and C1 control characters and DEL (line ends among
// them, NEL too) become '_'; everything else is written as NameText writes it.
// A name is counted where it is defined (o, newmtl), not where it is used.
std::string ObjName(const char* name, int* replacedNames) {
  std::string bytes = name;
  bool replaced = false;
  for (char& c : bytes) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || (byte >= 0x7F && byte < 0xA0)) {
      c = '_';
      replaced = true;
    }
  }
  if (replaced && replacedNames != nullptr) ++*replacedNames;
  return NameText(bytes.c_str());
}

// The material library's file name, as the file system spells it (not a host
// name): only its C0 controls and DEL are replaced, so UTF-8 stays whole.
std::string LibraryName(const std::string& name, ExportNotes& notes) {
  std::string text = name;
  bool replaced = false;
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      c = '_';
      replaced = true;
    }
  }
  if (replaced) ++notes.namesWithControls;
  return text;
}

bool IsWhole(const qmTriangle* triangle, int vertexCount, int normalCount) {
  const std::uint16_t* vertices = qmTriangle_GetVertexIndices(triangle);
  const std::uint16_t* normals = qmTriangle_GetNormalIndices(triangle);
  for (int c = 0; c < 3; ++c)
    if (vertices[c] >= vertexCount || (normalCount > 0 && normals[c] >= normalCount)) return false;
  return true;
}

void WriteMesh(qmModel* model, qmMesh* mesh, long vertexBase, long normalBase, std::ostream& out,
               ExportNotes& notes) {
  const std::string name = ObjName(qmMesh_GetName(mesh), &notes.namesWithControls);
  // An object, not a group: a group line lists group names split at spaces,
  // and level mesh names have one.
  out << "o " << name << '\n';
  const qmMaterial* material = qmModel_GetMaterialAt(model, qmMesh_GetMaterialIndex(mesh));
  if (material != nullptr)
    out << "usemtl " << ObjName(qmMaterial_GetName(material), nullptr) << '\n';

  const int vertexCount = qmMesh_GetVertexCount(mesh);
  const int normalCount = qmMesh_GetNormalCount(mesh);
  for (int v = 0; v < vertexCount; ++v)
    Floats(out, "v", qmVertex_GetPosition(qmMesh_GetVertexAt(mesh, v)), 3, notes);
  for (int v = 0; v < vertexCount; ++v)
    Floats(out, "vt", qmVertex_GetTexCoords(qmMesh_GetVertexAt(mesh, v)), 2, notes);
  for (int n = 0; n < normalCount; ++n) Floats(out, "vn", qmMesh_GetNormalAt(mesh, n), 3, notes);

  std::vector<bool> used(static_cast<size_t>(vertexCount), false);
  for (int t = 0, n = qmMesh_GetTriangleCount(mesh); t < n; ++t) {
    const qmTriangle* triangle = qmMesh_GetTriangleAt(mesh, t);
    if (!IsWhole(triangle, vertexCount, normalCount)) {
      ++notes.droppedTriangles;
      continue;
    }
    const std::uint16_t* vertices = qmTriangle_GetVertexIndices(triangle);
    const std::uint16_t* normals = qmTriangle_GetNormalIndices(triangle);
    out << 'f';
    for (int c = 0; c < 3; ++c) {
      used[vertices[c]] = true;
      const long v = vertexBase + vertices[c] + 1;
      out << ' ' << v << '/' << v;
      if (normalCount > 0) out << '/' << normalBase + normals[c] + 1;
    }
    out << '\n';
  }
  for (int v = 0; v < vertexCount; ++v)
    if (!used[static_cast<size_t>(v)]) out << "p " << vertexBase + v + 1 << '\n';
}

std::string MtlPath(const std::string& objPath) {
  const size_t slash = objPath.find_last_of('/');
  const size_t dot = objPath.find_last_of('.');
  const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  return (hasExtension ? objPath.substr(0, dot) : objPath) + ".mtl";
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

void WriteObj(qmModel* model, const std::string& mtlName, std::ostream& out, ExportNotes& notes) {
  out << "# qmhost\n";
  if (!mtlName.empty()) out << "mtllib " << LibraryName(mtlName, notes) << '\n';
  long vertexBase = 0;
  long normalBase = 0;
  for (int m = 0, n = qmModel_GetMeshCount(model); m < n; ++m) {
    qmMesh* mesh = qmModel_GetMeshAt(model, m);
    WriteMesh(model, mesh, vertexBase, normalBase, out, notes);
    vertexBase += qmMesh_GetVertexCount(mesh);
    normalBase += qmMesh_GetNormalCount(mesh);
  }
}

// Ka, Kd, Ks and Ke are the host's colours without their alpha; d, the
// opacity, is 1 - transparency, kept within [0, 1].
void WriteMtl(qmModel* model, std::ostream& out, ExportNotes& notes) {
  out << "# qmhost\n";
  for (int m = 0, n = qmModel_GetMaterialCount(model); m < n; ++m) {
    const qmMaterial* material = qmModel_GetMaterialAt(model, m);
    out << "newmtl " << ObjName(qmMaterial_GetName(material), &notes.namesWithControls) << '\n';
    Floats(out, "Ka", qmMaterial_GetAmbient(material), 3, notes);
    Floats(out, "Kd", qmMaterial_GetDiffuse(material), 3, notes);
    Floats(out, "Ks", qmMaterial_GetSpecular(material), 3, notes);
    Floats(out, "Ke", qmMaterial_GetEmissive(material), 3, notes);
    const float shininess = qmMaterial_GetShininess(material);
    Floats(out, "Ns", &shininess, 1, notes);
    const float opacity =
        Clamped01(1.0f - Finite(qmMaterial_GetTransparency(material), notes), notes);
    Floats(out, "d", &opacity, 1, notes);
    out << '\n';
  }
}

std::vector<std::string> ObjSavePaths(const std::string& path) { return {MtlPath(path), path}; }

bool SaveObjFiles(qmModel* model, const std::string& path, ExportNotes& notes,
                  std::string& error) {
  const std::string mtlPath = ObjSavePaths(path).front();
  // The library first: an .obj in place always finds the library it names.
  return SaveFiles({FileToSave{mtlPath,
                               [&](std::ostream& out) {
                                 WriteMtl(model, out, notes);
                                 return true;
                               }},
                    FileToSave{path,
                               [&](std::ostream& out) {
                                 WriteObj(model, BaseName(mtlPath), out, notes);
                                 return true;
                               }}},
                   error);
}
