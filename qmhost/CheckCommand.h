// `qmhost check`: walks each file as the import does, into a model that keeps
// nothing, and lists every finding with its byte offset and its record.
#ifndef QMHOST_CHECKCOMMAND_H
#define QMHOST_CHECKCOMMAND_H

#include <iosfwd>
#include <string>
#include <vector>

// Checks each file and prints its findings, the model it describes and a
// closing line to `out`:
//   ship.msh: byte 291, group 0, level 1, mesh 2 (mesh record): error: ...
//   ship.msh: model: 24 meshes, 9 materials, 1234 vertices, 2345 triangles, about 96 KB
//   ship.msh: 1 error, 0 notes (2 groups, 4 detail levels, 12 meshes, 7 hardpoints, 13812 bytes)
// Errors are what the import stops at or cuts (its one message names the
// first); notes are what a sound file may hold. Returns 0 when no file has an
// error (notes don't count), 1 otherwise.
int RunCheckCommand(const std::vector<std::string>& files, std::ostream& out);

#endif  // QMHOST_CHECKCOMMAND_H
