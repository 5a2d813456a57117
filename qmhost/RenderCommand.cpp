#include "RenderCommand.h"

#include <cmath>
#include <iostream>
#include <set>

#include "ImportCommand.h"
#include "InputFiles.h"
#include "ModelStructure.h"
#include "PluginImport.h"
#include "PluginModule.h"
#include "qmModelRead.h"

namespace {

// A mesh without a material, or a colour channel that is no number, is drawn
// light grey.
constexpr float kNoColour = 0.75f;

Colour DiffuseOf(qmModel* model, qmMesh* mesh) {
  qmMaterial* material = qmModel_GetMaterialAt(model, qmMesh_GetMaterialIndex(mesh));
  if (material == nullptr) return {kNoColour, kNoColour, kNoColour};
  const float* rgba = qmMaterial_GetDiffuse(material);
  float channel[3];
  for (int c = 0; c < 3; ++c)
    channel[c] = std::isnan(rgba[c]) ? kNoColour : std::fmin(std::fmax(rgba[c], 0.0f), 1.0f);
  return {channel[0], channel[1], channel[2]};
}

}  // namespace

bool ParsePictureSize(const std::string& text, int& width, int& height) {
  const std::size_t x = text.find('x');
  if (x == std::string::npos || x == 0 || x + 1 == text.size() || x > 4 || text.size() - x > 5)
    return false;
  int values[2] = {0, 0};
  const std::string parts[2] = {text.substr(0, x), text.substr(x + 1)};
  for (int n = 0; n < 2; ++n) {
    for (char c : parts[n]) {
      if (c < '0' || c > '9') return false;
      values[n] = values[n] * 10 + (c - '0');
    }
    if (values[n] < 1 || values[n] > kMaxPictureSide) return false;
  }
  width = values[0];
  height = values[1];
  return true;
}

Scene ModelScene(qmModel* model, const ModelStructure& structure, int level, bool& levelFound) {
  Scene scene;
  levelFound = false;
  for (const GroupNode& group : structure.groups) {
    for (const LevelNode& node : group.levels) {
      if (node.number != level) continue;
      levelFound = true;
      for (int index : node.meshes) {
        qmMesh* mesh = qmModel_GetMeshAt(model, index);
        scene.surfaces.push_back({mesh, DiffuseOf(model, mesh)});
      }
    }
  }
  for (int index : structure.markers) {
    qmMesh* mesh = qmModel_GetMeshAt(model, index);
    scene.markers.push_back({mesh, DiffuseOf(model, mesh)});
  }
  return scene;
}

int RunRenderCommand(const RenderOptions& options) {
  PluginModule module(options.plugin);
  std::string error;
  PlugIn* plugin = LoadImportPlugin(module, options.plugin, error);
  if (plugin == nullptr) {
    std::cerr << "qmhost: " << error << '\n';
    return kExitUsage;
  }
  PluginImport imported = ImportThroughPlugin(*plugin, options.file, options.memoryLimit);
  if (!imported.error.empty()) {
    std::cerr << "qmhost: " << imported.error << '\n';
    return kExitMessage;
  }
  for (const std::string& message : imported.messages)
    std::cerr << "qmhost: " << options.file << ": " << message << '\n';

  const ModelStructure structure = DescribeStructure(imported.model.get());
  bool levelFound = false;
  const Scene scene = ModelScene(imported.model.get(), structure, options.level, levelFound);
  if (!levelFound && !structure.groups.empty()) {
    std::set<int> levels;
    for (const GroupNode& group : structure.groups)
      for (const LevelNode& node : group.levels) levels.insert(node.number);
    std::cerr << "qmhost: " << options.file << ": no group has detail level " << options.level
              << "; the levels are";
    for (int number : levels) std::cerr << ' ' << number;
    std::cerr << '\n';
    return kExitUsage;
  }

  RunInputs inputs;
  inputs.Add(options.plugin);
  inputs.Add(options.file);
  const std::string replaced = inputs.Replaced({options.output});
  if (!replaced.empty()) {
    std::cerr << "qmhost: cannot save " << options.output << ": " << replaced << '\n';
    return kExitMessage;
  }
  const Drawing drawing = DrawScene(scene, options.width, options.height);
  if (drawing.tooMuch) {
    std::cerr << "qmhost: " << options.file << ": too much to draw at " << options.width << 'x'
              << options.height << ": its triangles lie over one another too many times (the "
              << "limit is " << kWorkPerSample << " depth tests a sample); nothing was written\n";
    return kExitMessage;
  }
  if (!SavePng(drawing.picture, options.output, error)) {
    std::cerr << "qmhost: " << error << '\n';
    return kExitMessage;
  }
  std::cout << "saved " << options.output << " (" << drawing.triangles << " triangles, "
            << drawing.points << " marker points)\n";
  return imported.messages.empty() ? kExitClean : kExitMessage;
}
