#include "ModelStructure.h"

#include <cstdio>
#include <cstring>
#include <map>

#include "qmModelRead.h"

namespace {

struct ParsedName {
  enum Kind { Level, Mesh, Marker, Other } kind = Other;
  int group = 0;
  int level = 0;
  std::string red;
};

// Digits only, at least two, no sign: the plug-in prints "%02i".
bool ReadNumber(const char*& at, int& value) {
  const char* start = at;
  long long number = 0;
  while (*at >= '0' && *at <= '9' && number < 1000000) number = number * 10 + (*at++ - '0');
  value = static_cast<int>(number);
  return at - start >= 2 && number < 1000000;
}

ParsedName Parse(const char* name) {
  ParsedName parsed;
  const size_t length = std::strlen(name);
  if (length >= 2 && name[0] == '#' && name[length - 1] == '#') {
    parsed.kind = ParsedName::Marker;
    return parsed;
  }
  const char* at = name;
  if (*at++ != 'L' || !ReadNumber(at, parsed.group)) return parsed;
  if (std::strncmp(at, "LD", 2) != 0) return parsed;
  at += 2;
  if (!ReadNumber(at, parsed.level)) return parsed;
  if (std::strncmp(at, "#red ", 5) == 0 && length >= 2 && name[length - 1] == '#') {
    parsed.kind = ParsedName::Level;
    parsed.red.assign(at + 5, name + length - 1);
    return parsed;
  }
  int mesh = 0;
  if (*at++ == 'M' && ReadNumber(at, mesh) && *at == '\0') parsed.kind = ParsedName::Mesh;
  return parsed;
}

}  // namespace

ModelStructure DescribeStructure(qmModel* model) {
  std::map<int, std::map<int, LevelNode>> groups;
  ModelStructure structure;
  const int meshCount = qmModel_GetMeshCount(model);
  for (int index = 0; index < meshCount; ++index) {
    const ParsedName name = Parse(qmMesh_GetName(qmModel_GetMeshAt(model, index)));
    switch (name.kind) {
      case ParsedName::Level: {
        LevelNode& level = groups[name.group][name.level];
        level.number = name.level;
        if (level.levelMesh == -1) {
          level.levelMesh = index;
          level.red = name.red;
        } else {
          structure.others.push_back(index);
        }
        break;
      }
      case ParsedName::Mesh: {
        LevelNode& level = groups[name.group][name.level];
        level.number = name.level;
        level.meshes.push_back(index);
        break;
      }
      case ParsedName::Marker:
        structure.markers.push_back(index);
        break;
      case ParsedName::Other:
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
