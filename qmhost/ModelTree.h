// A readable tree of the model: groups, detail levels with their red value,
// meshes with their counts and material, markers, and materials.
#ifndef QMHOST_MODELTREE_H
#define QMHOST_MODELTREE_H

#include <iosfwd>

#include "qmModelLib.h"

void PrintModelTree(qmModel* model, std::ostream& out);

#endif  // QMHOST_MODELTREE_H
