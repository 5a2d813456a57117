#include "SaveContent.h"

#include <algorithm>
#include <set>

#include "qmModelRead.h"

namespace {

// The meshes of the levels numbered `level` (or of every level), and with
// `markers` those that belong to no level.
std::vector<bool> KeptMeshes(const ModelStructure& tree, int meshCount, int level, bool markers) {
  std::vector<bool> kept(static_cast<size_t>(meshCount), false);
  for (const GroupNode& group : tree.groups) {
    for (const LevelNode& node : group.levels) {
      if (level != SaveSettings::kAllLevels && node.number != level) continue;
      if (node.levelMesh >= 0) kept[static_cast<size_t>(node.levelMesh)] = true;
      for (int mesh : node.meshes) kept[static_cast<size_t>(mesh)] = true;
    }
  }
  if (markers) {
    for (int mesh : tree.markers) kept[static_cast<size_t>(mesh)] = true;
    for (int mesh : tree.others) kept[static_cast<size_t>(mesh)] = true;
  }
  return kept;
}

}  // namespace

std::string WithoutExtension(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path;
  // A hidden file's leading dot starts its name, not an extension.
  if (dot == 0 || (slash != std::string::npos && dot == slash + 1)) return path;
  return path.substr(0, dot);
}

std::string LowerCase(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

std::string ExtensionOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return std::string();
  return LowerCase(path.substr(dot + 1));
}

std::string FileName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string LevelFilePath(const std::string& path, int level) {
  const std::string stem = WithoutExtension(path);
  return stem + ".lod" + std::to_string(level) + path.substr(stem.size());
}

std::string ListText(const std::vector<int>& numbers) {
  std::string text;
  for (size_t n = 0; n < numbers.size(); ++n) {
    if (n > 0) text += n + 1 == numbers.size() ? " and " : ", ";
    text += std::to_string(numbers[n]);
  }
  return text;
}

const char kKeepingLevelsText[] =
    "--level all keeps every level in one file, --level-files writes each level to a file of "
    "its own";

std::string LevelsLeftOutText(const std::vector<int>& levels) {
  if (levels.empty()) return std::string();
  return (levels.size() == 1 ? "detail level " : "detail levels ") + ListText(levels) +
         (levels.size() == 1 ? " was" : " were") + " left out: " + kKeepingLevelsText;
}

std::string MissingLevelText(const ModelStructure& tree, int level) {
  std::set<int> levels;
  for (const GroupNode& group : tree.groups)
    for (const LevelNode& node : group.levels) levels.insert(node.number);
  if (level == SaveSettings::kAllLevels || levels.empty() || levels.count(level) != 0)
    return std::string();
  return "no group has detail level " + std::to_string(level) + " (the levels are " +
         ListText(std::vector<int>(levels.begin(), levels.end())) + ")";
}

SaveContent PlanContent(qmModel* model, const SaveSettings& settings, const std::string& path) {
  SaveContent content;
  content.tree = DescribeStructure(model);
  const int meshCount = qmModel_GetMeshCount(model);
  std::set<int> levels;
  for (const GroupNode& group : content.tree.groups)
    for (const LevelNode& node : group.levels) levels.insert(node.number);

  if (settings.levelFiles) {
    // Level 0 at the path saved to, with the markers, even where no group
    // has a level 0: the markers and the rest still go there.
    content.files.push_back({path, 0, true, KeptMeshes(content.tree, meshCount, 0, true)});
    for (int level : levels)
      if (level != 0)
        content.files.push_back({LevelFilePath(path, level), level, false,
                                 KeptMeshes(content.tree, meshCount, level, false)});
    return content;
  }
  const int level = settings.level;
  content.error = MissingLevelText(content.tree, level);
  if (!content.error.empty()) return content;
  content.files.push_back({path, level, true, KeptMeshes(content.tree, meshCount, level, true)});
  if (level != SaveSettings::kAllLevels)
    for (int number : levels)
      if (number != level) content.levelsLeftOut.push_back(number);
  return content;
}

std::vector<bool> UsedMaterials(qmModel* model, const SaveContent& content) {
  std::vector<bool> used(static_cast<size_t>(qmModel_GetMaterialCount(model)), false);
  for (const FileContent& file : content.files) {
    for (size_t m = 0; m < file.kept.size(); ++m) {
      if (!file.kept[m]) continue;
      const int material = qmMesh_GetMaterialIndex(qmModel_GetMeshAt(model, static_cast<int>(m)));
      if (material >= 0 && static_cast<size_t>(material) < used.size())
        used[static_cast<size_t>(material)] = true;
    }
  }
  return used;
}
