// The file's structure, read back from the names the plug-in gives the
// host's meshes (import/NameScheme.h forms and parses them):
// "L<group>LD<level>#red <red>#" for a detail level, "L<group>LD<level>M<mesh>"
// for a mesh of it, "#<name>#" for a marker. A name the host cut to 31
// characters still tells its group and level, or that it is a marker.
#ifndef QMHOST_MODELSTRUCTURE_H
#define QMHOST_MODELSTRUCTURE_H

#include <string>
#include <vector>

#include "qmModelLib.h"

struct LevelNode {
  int number = 0;
  int levelMesh = -1;   // index of the level's own (empty) mesh, -1 if absent
  std::string red;      // as printed in the level mesh's name
  bool redCut = false;  // the name was cut inside the red value: `red` is its start
  std::vector<int> meshes;  // model indices, in model order
};

struct GroupNode {
  int number = 0;
  std::vector<LevelNode> levels;  // by level number
};

struct ModelStructure {
  std::vector<GroupNode> groups;  // by group number
  std::vector<int> markers;       // meshes named "#...#"
  std::vector<int> others;        // meshes whose names follow no pattern
};

ModelStructure DescribeStructure(qmModel* model);

#endif  // QMHOST_MODELSTRUCTURE_H
