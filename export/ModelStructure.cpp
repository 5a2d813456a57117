#include "ModelStructure.h"

#include <map>

#include "NameScheme.h"
#include "qmModelRead.h"

ModelStructure DescribeStructure(qmModel* model) {
  std::map<int, std::map<int, LevelNode>> groups;
  ModelStructure structure;
  const int meshCount = qmModel_GetMeshCount(model);
  for (int index = 0; index < meshCount; ++index) {
    const ParsedName name = ParseName(qmMesh_GetName(qmModel_GetMeshAt(model, index)));
    switch (name.kind) {
      case NameKind::LevelMesh: {
        LevelNode& level = groups[name.group][name.level];
        level.number = name.level;
        if (level.levelMesh == -1) {
          level.levelMesh = index;
          level.red = std::string(name.text);
          level.redCut = name.cut;
        } else {
          structure.others.push_back(index);
        }
        break;
      }
      case NameKind::Mesh: {
        LevelNode& level = groups[name.group][name.level];
        level.number = name.level;
        level.meshes.push_back(index);
        break;
      }
      case NameKind::Marker:
        structure.markers.push_back(index);
        break;
      case NameKind::Other:
        structure.others.push_back(index);
        break;
    }
  }
  for (auto& [groupNumber, levels] : groups) {
    GroupNode group;
    group.number = groupNumber;
    for (auto& entry : levels) group.levels.push_back(std::move(entry.second));
    structure.groups.push_back(std::move(group));
  }
  return structure;
}
