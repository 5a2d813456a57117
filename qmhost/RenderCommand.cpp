// `qmhost render`: a picture of the model the plug-in builds from a file:
// shaded triangles of one detail level of each group, from a three-quarter
// view that frames the whole model, with the markers on top.
#include <cmath>
#include <iostream>
#include <memory>
#include <new>
#include <optional>

#include <CLI/CLI.hpp>

#include "CommandOptions.h"
#include "Commands.h"
#include "ExitCodes.h"
#include "InputFiles.h"
#include "Messages.h"
#include "ModelStructure.h"
#include "PictureFile.h"
#include "PluginImport.h"
#include "PluginModule.h"
#include "Rasteriser.h"
#include "SaveContent.h"
#include "qmModelRead.h"

namespace {

struct RenderSettings {
  std::string file;
  std::string output;                 // the picture to write; - for standard output
  const PictureFormat* to = nullptr;  // the picture's format; by the output's extension if absent
  int width = 800;
  int height = 600;
  int level = 0;  // the detail level drawn of each group; SaveSettings::kAllLevels: every one
  std::string plugin;
  std::uint64_t memoryLimit = 0;
};

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

// Parses "WIDTHxHEIGHT", each 1 to kMaxPictureSide; false otherwise.
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

// From the model and its structure, what a save with the same --level
// shows: the meshes of detail level `level` of each group (of every level
// with SaveSettings::kAllLevels) and those that belong to no group, in their
// material's diffuse colour, and the markers, whose triangles are drawn as
// lines (most are degenerate: a point or a segment) and their vertices as
// points. The scene refers to the model's meshes and copies none of their
// data.
Scene ModelScene(qmModel* model, const ModelStructure& structure, int level) {
  Scene scene;
  const auto surface = [&](int index) {
    qmMesh* mesh = qmModel_GetMeshAt(model, index);
    scene.surfaces.push_back({mesh, DiffuseOf(model, mesh)});
  };
  for (const GroupNode& group : structure.groups)
    for (const LevelNode& node : group.levels)
      if (level == SaveSettings::kAllLevels || node.number == level)
        for (int index : node.meshes) surface(index);
  for (int index : structure.others) surface(index);
  for (int index : structure.markers) {
    qmMesh* mesh = qmModel_GetMeshAt(model, index);
    scene.markers.push_back({mesh, DiffuseOf(model, mesh)});
  }
  return scene;
}

// The picture's format, or null after a usage error was said.
const PictureFormat* ChosenFormat(const RenderSettings& settings) {
  if (settings.output == "-") {
    if (settings.to == nullptr)
      Error(
          MessageLine("-o - writes the picture to standard output in the format --to names: "
                      "png or jpg"));
    return settings.to;
  }
  const PictureFormat* byExtension = PictureFormatOfPath(settings.output);
  if (settings.to != nullptr) {
    if (byExtension != nullptr && byExtension != settings.to) {
      Error(FileLine(settings.output, std::string("its extension names ") + byExtension->name +
                                          ", --to " + settings.to->name));
      return nullptr;
    }
    return settings.to;
  }
  if (byExtension == nullptr)
    Error(FileLine(settings.output, "cannot save a picture as this: the extension must be " +
                                        PictureExtensionList() + " (or --to FORMAT)"));
  return byExtension;
}

int DrawFile(const RenderSettings& settings, const PictureFormat& format, PlugIn& plugin) {
  const PluginImport imported = ImportThroughPlugin(plugin, settings.file, settings.memoryLimit);
  const int status = ReportImport(imported);
  if (!imported.model) return status;

  const ModelStructure structure = DescribeStructure(imported.model.get());
  const std::string missing = MissingLevelText(structure, settings.level);
  if (!missing.empty()) {
    Error(FileLine(settings.file, missing));
    return kExitUsage;
  }
  const Scene scene = ModelScene(imported.model.get(), structure, settings.level);

  if (settings.output != "-") {
    RunInputs inputs;
    inputs.Add(settings.plugin);
    if (settings.file != "-") inputs.Add(settings.file);
    const std::string replaced = inputs.Replaced({settings.output});
    if (!replaced.empty()) {
      Error(MessageLine("cannot save " + settings.output + ": " + replaced));
      return kExitFailure;
    }
  }
  const Drawing drawing = DrawScene(scene, settings.width, settings.height);
  if (drawing.tooMuch) {
    Error(FileLine(settings.file,
                   "too much to draw at " + std::to_string(settings.width) + "x" +
                       std::to_string(settings.height) +
                       ": its triangles lie over one another too many times (the limit is " +
                       std::to_string(kWorkPerSample) +
                       " depth tests a sample); nothing was "
                       "written"));
    return kExitFailure;
  }
  if (settings.output == "-") {
    if (!format.write(drawing.picture, std::cout)) {
      Error(MessageLine("cannot write the picture to standard output"));
      return kExitFailure;
    }
  } else {
    std::string error;
    if (!SavePicture(drawing.picture, format, settings.output, error)) {
      Error(MessageLine(error));
      return kExitFailure;
    }
  }
  Detail(FileLine(settings.file, "drew " + std::to_string(drawing.triangles) + " triangles and " +
                                     std::to_string(drawing.points) + " marker points into " +
                                     InputName(settings.output)));
  return status;
}

int RunRender(const RenderSettings& settings) {
  const PictureFormat* format = ChosenFormat(settings);
  if (format == nullptr) return kExitUsage;
  const std::unique_ptr<PluginModule> module = LoadImportPlugin(settings.plugin);
  if (!module) return kExitUsage;
  // The picture's own memory: running out says so, and the save's temporary
  // is gone with the exception.
  try {
    return DrawFile(settings, *format, *module->Object());
  } catch (const std::bad_alloc&) {
    Error(FileLine(settings.file, "not enough memory to render it"));
    return kExitFailure;
  }
}

}  // namespace

Command AddRenderCommand(CLI::App& app) {
  auto settings = std::make_shared<RenderSettings>();
  CLI::App* command =
      app.add_subcommand("render", "Draw the imported model into a PNG or JPEG picture");
  command->footer(
      "Shaded triangles of one detail level of each group (what a glTF or OBJ save with the same\n"
      "--level shows), from a three-quarter view that frames the whole model, with the markers on\n"
      "top.\n\n"
      "Exit status: 0 clean; 1 the plug-in showed a message (the picture shows what it built), a\n"
      "file could not be read or written, or the model is too much to draw (nothing is written);\n"
      "2 usage error, a level no group has, or a module that can't be loaded.");
  command->add_option("FILE", settings->file, "The .msh file to draw; - reads standard input")
      ->required();
  command
      ->add_option("-o,--output", settings->output,
                   "The picture to write, in the format of its extension (" +
                       PictureExtensionList() + ") or of --to; - writes to standard output")
      ->type_name("PICTURE")
      ->required();
  std::vector<std::string> names;
  std::string formats;
  for (const PictureFormat& format : PictureFormats()) {
    names.emplace_back(format.name);
    formats += std::string("\n  ") + format.name + ": " + format.help;
  }
  command
      ->add_option_function<std::string>(
          "--to", [settings](const std::string& name) { settings->to = PictureFormatNamed(name); },
          "The picture's format, whatever its extension:" + formats)
      ->type_name("FORMAT")
      ->transform(CLI::IsMember(names, CLI::ignore_case).description(""));
  command
      ->add_option_function<std::string>(
          "--size",
          [settings](const std::string& text) {
            ParsePictureSize(text, settings->width, settings->height);
          },
          "The picture's size in pixels, WIDTHxHEIGHT (default 800x600)")
      ->check(CLI::Validator(
          [](std::string& text) {
            int width = 0, height = 0;
            return ParsePictureSize(text, width, height)
                       ? std::string()
                       : "expected WIDTHxHEIGHT, each from 1 to " +
                             std::to_string(kMaxPictureSide) + ", e.g. 800x600";
          },
          ""))
      ->type_name("WxH");
  AddLevelOption(*command, settings->level,
                 "The detail level drawn of each group (default 0); all draws every level over "
                 "one another, as a viewer shows a save with --level all");
  AddPluginOption(*command, settings->plugin);
  AddMemoryLimitOption(*command, settings->memoryLimit);
  return {command, [settings] { return RunRender(*settings); }};
}
