// `qmhost check`: lists where files depart from the layout of a well-formed
// mesh file, with the byte offset and the record of each finding.
#ifndef QMHOST_CHECKCOMMAND_H
#define QMHOST_CHECKCOMMAND_H

#include <iosfwd>
#include <string>
#include <vector>

// Checks each file and prints its findings and a closing line to `out`:
//   ship.msh: byte 1234, group 0, level 1, mesh 2 (mesh record): error: ...
//   ship.msh: 1 error, 0 notes (2 groups, 4 detail levels, 12 meshes, 7 hardpoints)
// Returns 0 when no file has an error (notes don't count), 1 otherwise.
int RunCheckCommand(const std::vector<std::string>& files, std::ostream& out);

#endif  // QMHOST_CHECKCOMMAND_H
