// The import library's public header: the import of a loaded mesh file into
// the host model, and the same walk of the file into a model that keeps
// nothing, for checking a file. Both walk the file with one piece of code and
// report what they meet in an ImportReport, so they agree on every finding.
//
//   FileBuffer myfile(path);
//   ImportReport report = ImportMeshFile(model, myfile);
//   if (!report.Ok()) ShowMessage(report.Message().c_str());
//
//   FileBuffer again(path);
//   ImportReport check = CheckMeshFile(again);   // every finding, the model's size
#ifndef QM_IMPORT_IMPORTMESHFILE_H
#define QM_IMPORT_IMPORTMESHFILE_H

#include "FileBuffer.h"
#include "ImportReport.h"
#include "qmModelLib.h"

// Empties `model` and rebuilds it from `myfile` (loaded, `pos` at 0): per
// detail level a level mesh "L%02iLD%02i#red %06.2f#", per mesh record a mesh
// "L%02iLD%02iM%02i" with its vertices, normals and triangles and a material
// shared by name, and per group the hardpoint markers (NameScheme.h has the
// names). A file shorter than its layout stops the import at the read that
// does not fit, leaving what was built; the returned report holds the first
// error, the counts of every kind, and the size of the model built.
//
// A file too short to hold its header leaves the model untouched.
ImportReport ImportMeshFile(qmModel* model, FileBuffer& myfile);

// Walks `myfile` exactly as ImportMeshFile does but builds nothing: the report
// keeps the first `keepPerKind` findings of each kind, in file order, and the
// size of the model the file describes. Its memory grows with the file's
// index pool and its names, never with the model.
ImportReport CheckMeshFile(FileBuffer& myfile, int keepPerKind = 20);

#endif  // QM_IMPORT_IMPORTMESHFILE_H
