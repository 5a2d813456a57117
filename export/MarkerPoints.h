// The hardpoints' own points in a marker mesh. Beside one vertex per point,
// the import adds copies of points to form the markers' small triangles
// (NameScheme.h's MarkerFamily): a "blink" point is three coincident
// vertices, the second point of each "dock" pair two. The savers give every
// point an empty node of its own, the attach point that engines and modelling
// tools work with, and leave the copies to the mesh.
#ifndef QM_EXPORT_MARKERPOINTS_H
#define QM_EXPORT_MARKERPOINTS_H

#include <vector>

#include "qmModelLib.h"

// The indices of the vertices of `mesh` (a marker mesh, "#name#") that are
// points, ascending. A vertex counts as a copy only where a triangle of the
// mesh's family made it one: it follows the vertex it copies and has exactly
// its position, bit for bit.
std::vector<int> MarkerPointVertices(qmMesh* mesh);

#endif  // QM_EXPORT_MARKERPOINTS_H
