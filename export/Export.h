// Saving the host model in formats other tools read: glTF 2.0 (binary .glb,
// or .gltf with its buffer embedded) and Wavefront OBJ with its .mtl.
//
// Each saver takes the model, the settings that map it onto the format
// (SaveSettings.h: up axis, detail levels, textures), the path, notes and an
// error, and saves through SaveFiles (SafeSave.h), so a failed save changes
// no file:
//
//   SaveSettings settings;
//   settings.source = "ship.msh";            // textures beside it
//   ExportNotes notes;
//   std::string error;
//   if (!SaveGlb(model, settings, "ship.glb", notes, error)) ...
//   for (const std::string& line : notes.Lines()) std::cerr << line << '\n';
//
// Each format's core writes to a stream (WriteGltf, WriteObj); the files of a
// save, with their writers, come from GltfFiles and ObjFiles, and their paths
// alone, for a check before the save, from GltfSavePaths and ObjSavePaths.
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

#include "SafeSave.h"
#include "SaveSettings.h"
#include "qmModelLib.h"

struct ExportNotes {
  int adjustedValues = 0;    // values written as the nearest value the format holds
  int droppedTriangles = 0;  // triangles left out for indices past their mesh
  int namesWithControls = 0;  // OBJ/MTL names whose control characters were written as '_'
  std::string levelsLeftOut;  // the detail levels no file of the save holds, and how to keep them
  std::string texturesLeftOut;  // the textures not found or not readable

  // No note at all.
  bool Empty() const { return !Changed() && levelsLeftOut.empty() && texturesLeftOut.empty(); }
  // Whether a value, a triangle or a name was written other than the model has it.
  bool Changed() const {
    return adjustedValues != 0 || droppedTriangles != 0 || namesWithControls != 0;
  }
  // What changed, in one sentence, e.g. "2 values were written as the nearest
  // value the format can hold; 1 triangle was left out for ..."; empty when
  // nothing did.
  std::string Text() const;
  // Every note, a line each: what changed, the levels left out, the textures.
  std::vector<std::string> Lines() const;
};

enum class GltfForm { Binary, Embedded };

// glTF. With settings.flat the kept meshes are a plain list of nodes in model
// order; otherwise the nodes form the tree the mesh names encode: a node per
// group, under it the node of each kept level (the level mesh's), under that
// the level's meshes; the markers under one "hardpoints" node, each marker's
// points as empty nodes "#name# 0", "#name# 1", ... under its own node; the
// meshes that follow no naming pattern at the root. The nodes of the kept
// meshes come first, in model order: with every level kept, node n is host
// mesh n.
//
// The files of a glTF save to `path`, its own last: with level files, one
// per level before it; beside a .gltf, a PNG per texture image. Fails with
// `error` set when the level asked for is in no group, when a .glb would
// outgrow the 4 GiB its header can count, or when a file of the save would
// replace a texture it reads.
bool GltfFiles(qmModel* model, const SaveSettings& settings, GltfForm form, const std::string& path,
               ExportNotes& notes, std::vector<FileToSave>& files, std::string& error);
bool SaveGlb(qmModel* model, const SaveSettings& settings, const std::string& path,
             ExportNotes& notes, std::string& error);
bool SaveGltf(qmModel* model, const SaveSettings& settings, const std::string& path,
              ExportNotes& notes, std::string& error);
// Every file a glTF save to `path` may write, `path` last, without reading a
// texture; the files of the level asked for when there is none.
std::vector<std::string> GltfSavePaths(qmModel* model, const SaveSettings& settings,
                                       GltfForm form, const std::string& path);
// The first file of a save to "model.glb" or "model.gltf" (no level files,
// no textures beside), for tests and fuzzing.
bool WriteGltf(qmModel* model, const SaveSettings& settings, GltfForm form, std::ostream& out,
               ExportNotes& notes);

// OBJ: an object per kept mesh, named as the mesh; the host's own vertex and
// normal indices; vertices no triangle uses as lines from the vertex to
// itself ("l 7 7"), which OBJ readers keep where they drop points; a usemtl
// before every object's elements. No byte of a name ends a line or starts a
// statement: the control characters of a name (line ends among them) are
// written as '_', and the notes count the names that had any.
//
// The files of an OBJ save to `path`: its .mtl (NAME.mtl), a PNG per texture
// image, with level files an .obj per level, and `path` itself last. Fails
// as GltfFiles does.
bool ObjFiles(qmModel* model, const SaveSettings& settings, const std::string& path,
              ExportNotes& notes, std::vector<FileToSave>& files, std::string& error);
bool SaveObj(qmModel* model, const SaveSettings& settings, const std::string& path,
             ExportNotes& notes, std::string& error);
std::vector<std::string> ObjSavePaths(qmModel* model, const SaveSettings& settings,
                                      const std::string& path);
// The .obj of a save naming `mtlName` as its library, and the library itself,
// with no textures: for tests and fuzzing.
void WriteObj(qmModel* model, const SaveSettings& settings, const std::string& mtlName,
              std::ostream& out, ExportNotes& notes);
void WriteMtl(qmModel* model, std::ostream& out, ExportNotes& notes);

#endif  // QM_EXPORT_EXPORT_H
