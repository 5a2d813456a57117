// Walking a mesh file's layout, record by record as the import reads it, and
// listing every place where the file departs from what a well-formed file
// holds. The walk reads through FileBuffer with the import's record layouts
// and checks every count against the bytes left before it trusts it, so any
// file, however damaged, is walked in time bounded by its size (the corners
// of the triangles, as in the import, cost one look each per mesh).
//
//   FileBuffer myfile(path);
//   LayoutCheck check = CheckLayout(myfile);
//   for (const LayoutFinding& finding : check.findings) ...
#ifndef QMHOST_LAYOUTCHECK_H
#define QMHOST_LAYOUTCHECK_H

#include <cstdint>
#include <string>
#include <vector>

#include "FileBuffer.h"
#include "ImportReport.h"

enum class FindingKind {
  Truncated,           // the file ends inside a record, pool or block: the walk stops there
  CountPastEnd,        // a count asks for more records or bytes than remain: the walk stops
  VertexRangeOutside,  // a mesh's vertex range leaves the vertex pool
  IndexRangeOutside,   // a mesh's triangles leave the index pool
  CornerOutsideMesh,   // triangle corners outside their mesh's vertex range (one finding per mesh)
  UnreachableVertices, // a mesh's vertices past pool entry 65,535, which no 16-bit corner reaches
  TextWithoutNul,      // a text field with no NUL within its width
  NameTooLong,         // a name the host's 32-byte names cut short
  BytesAfterEnd,       // bytes after the last group; a note, not an error
};
constexpr int kFindingKinds = 9;

struct LayoutFinding {
  FindingKind kind = FindingKind::Truncated;
  ImportPlace place;  // the record, its numbers and the offset of the field concerned
  std::string text;   // what is wrong, as a clause: "the vertex range 4 to 9 ..."
};

struct LayoutCheck {
  // The first `perKindLimit` findings of each kind, in file order.
  std::vector<LayoutFinding> findings;
  // All findings of each kind, by FindingKind, including those not kept.
  std::int64_t counts[kFindingKinds] = {};
  // What the walk passed over.
  std::int64_t groups = 0, levels = 0, meshes = 0, hardpoints = 0;

  std::int64_t Errors() const;  // every finding but the notes
  std::int64_t Notes() const;
};

bool IsNote(FindingKind kind);

LayoutCheck CheckLayout(FileBuffer& myfile, int perKindLimit = 20);

// "byte 1234, group 0, level 1, mesh 2 (mesh record)" for a finding's place.
std::string DescribePlace(const ImportPlace& place);

#endif  // QMHOST_LAYOUTCHECK_H
