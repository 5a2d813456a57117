// Saving the host model in formats other tools read: glTF 2.0 (binary .glb,
// or .gltf with its buffer embedded) and Wavefront OBJ with its .mtl.
//
// Each format has a core that writes to a stream, and a file wrapper that
// saves through SaveFiles (SafeSave.h), so a failed save changes no file:
//
//   ExportNotes notes;
//   std::string error;
//   ModelStructure tree = DescribeStructure(model);
//   if (!SaveGltfFile(model, &tree, GltfForm::Binary, "ship.glb", notes, error)) ...
//   if (!notes.Empty()) std::cerr << notes.Text() << '\n';
//
// Values a format cannot hold (NaN and the infinities everywhere; in glTF also
// colours outside [0, 1] and normals that are not of unit length) are written
// as the nearest value it can hold, NaN as 0; triangles whose indices lie past
// their mesh's vertices or normals are left out. The notes count both, so the
// user can be told once per file.
#ifndef QM_EXPORT_EXPORT_H
#define QM_EXPORT_EXPORT_H

#include <iosfwd>
#include <string>
#include <vector>

#include "ModelStructure.h"
#include "qmModelLib.h"

namespace tinygltf {
class Model;
}

struct ExportNotes {
  int adjustedValues = 0;    // values written as the nearest value the format holds
  int droppedTriangles = 0;  // triangles left out for indices past their mesh
  int namesWithControls = 0;  // OBJ/MTL names whose control characters were written as '_'

  bool Empty() const {
    return adjustedValues == 0 && droppedTriangles == 0 && namesWithControls == 0;
  }
  // One sentence for the user, e.g. "2 values were written as the nearest
  // value the format can hold; 1 damaged triangle was left out".
  std::string Text() const;
};

enum class GltfForm { Binary, Embedded };

// The model as a glTF document. With a `tree` (DescribeStructure of the same
// model) the nodes form the tree the mesh names encode; without, they are a
// flat list in model order. Node n is always host mesh n; structural nodes
// (groups, levels without a level mesh, the hardpoints) follow them.
void BuildGltf(qmModel* model, const ModelStructure* tree, tinygltf::Model& gltf,
               ExportNotes& notes);
bool WriteGltf(qmModel* model, const ModelStructure* tree, GltfForm form, std::ostream& out,
               ExportNotes& notes);
bool SaveGltfFile(qmModel* model, const ModelStructure* tree, GltfForm form,
                  const std::string& path, ExportNotes& notes, std::string& error);
// Every file SaveGltfFile writes for `path`.
std::vector<std::string> GltfSavePaths(const std::string& path);

// The model as OBJ, naming `mtlName` as its material library, and the
// library itself. No byte of a name ends a line or starts a statement: the
// control characters of a name (line ends among them) are written as '_', and
// the notes count the names that had any.
void WriteObj(qmModel* model, const std::string& mtlName, std::ostream& out, ExportNotes& notes);
void WriteMtl(qmModel* model, std::ostream& out, ExportNotes& notes);
// Saves path and, beside it, the .mtl of the same base name.
bool SaveObjFiles(qmModel* model, const std::string& path, ExportNotes& notes,
                  std::string& error);
// Every file SaveObjFiles writes for `path`: the .mtl, then the .obj.
std::vector<std::string> ObjSavePaths(const std::string& path);

#endif  // QM_EXPORT_EXPORT_H
