// Building the host model from a loaded mesh file.
#ifndef QM_IMPORT_IMPORTMESHFILE_H
#define QM_IMPORT_IMPORTMESHFILE_H

#include "FileBuffer.h"
#include "ImportReport.h"
#include "MeshRecords.h"
#include "qmModelLib.h"

// Scratch storage of one import, shared by the mesh and the marker steps: one
// record of each kind, overwritten by every read of that kind, and the 32-byte
// buffer in which every mesh and material name is formed.
struct ImportScratch {
  FileHeader header;
  GroupRecord group;
  DetailLevelRecord level;
  MeshRecord mesh;
  HardpointRecord hardpoint;
  HardpointPoint vectors;
  char name[32];
  int groupNumber = 0;
  ImportReport report;
};

// Empties `model` and rebuilds it from `myfile` (loaded, `pos` at 0): per
// detail level a level mesh "L%02iLD%02i#red %06.2f#", per mesh record a mesh
// "L%02iLD%02iM%02i" with its vertices, normals and triangles and a material
// shared by name, and per group the hardpoint markers. A file shorter than its
// layout stops the import at the read that does not fit, leaving what was
// built; the returned report says what was wrong and where.
//
// A file too short to hold its header leaves the model untouched.
ImportReport ImportMeshFile(qmModel* model, FileBuffer& myfile);

// The marker step of one group: passes over the group's trailing block, then
// builds a marker mesh and material "#%s#" per hardpoint name, with one vertex
// per point and the triangles of the name's family. `myfile.pos` stands right
// after the group's last detail level; afterwards it stands where the next
// group begins. Returns false when the file ended and the import must stop.
bool ImportGroupHardpoints(qmModel* model, FileBuffer& myfile, const GroupRecord& group,
                           ImportScratch& scratch);

#endif  // QM_IMPORT_IMPORTMESHFILE_H
