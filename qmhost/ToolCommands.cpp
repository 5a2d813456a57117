#include "ToolCommands.h"

#include <iostream>
#include <new>

#include <CLI/CLI.hpp>

#include "CheckCommand.h"
#include "ImportCommand.h"
#include "MemoryLimit.h"
#include "PluginModule.h"
#include "PluginsCommand.h"

void AddMemoryLimitOption(CLI::App& command, std::string& text) {
  const std::uint64_t otherwise = DefaultMemoryLimit();
  command
      .add_option("--memory-limit", text,
                  "The most memory the model may hold, e.g. 512M or 2G (K, M, G, T: powers of "
                  "1024); past it the import stops with what was read. Default: half the memory "
                  "of the machine or of qmhost's control group, if lower: " +
                      (otherwise == 0 ? std::string("none") : MemorySizeText(otherwise)))
      ->check(CLI::Validator(
          [](std::string& value) {
            std::uint64_t bytes = 0;
            return ParseMemorySize(value, bytes)
                       ? std::string()
                       : "expected a size above 0 in bytes, or with K, M, G or T, e.g. 512M "
                         "or 2G";
          },
          "SIZE"));
}

std::uint64_t MemoryLimitOf(const std::string& text) {
  std::uint64_t bytes = 0;
  return ParseMemorySize(text, bytes) ? bytes : DefaultMemoryLimit();
}

ToolCommands::ToolCommands(CLI::App& app) {
  convertOptions_.plugin = DefaultPluginPath();
  renderOptions_.plugin = DefaultPluginPath();

  convert_ = app.add_subcommand("convert", "Convert many .msh files in one go");
  convert_->footer(
      "Each file goes through the plug-in into DIR/NAME.EXT (beside the input without -d). One\n"
      "broken file never stops the batch; progress goes to standard error, a summary to standard\n"
      "output.\n\n"
      "Exit status: 0 all converted cleanly, 1 a file was damaged (converted with a message) or\n"
      "failed, 2 usage error or a module that can't be loaded.");
  convert_->add_option("FILE", convertOptions_.files, "The .msh files to convert")->required();
  convert_->add_option("--to", convertOptions_.to, "The format to save in")
      ->check(CLI::IsMember({"glb", "gltf", "obj", "json"}))
      ->capture_default_str();
  convert_->add_option("-d,--dir", convertOptions_.folder,
                       "The folder to save into (made if missing)");
  convert_->add_option("--plugin", convertOptions_.plugin, "The plug-in module to load")
      ->capture_default_str();
  AddMemoryLimitOption(*convert_, memoryLimit_);

  check_ = app.add_subcommand("check", "List what is wrong with .msh files, and where");
  check_->footer(
      "Walks each file's layout and lists every departure from a well-formed file, with its byte\n"
      "offset and record; bytes after the last group are a note, not an error.\n\n"
      "Exit status: 0 every file without errors, 1 otherwise.");
  check_->add_option("FILE", checkFiles_, "The .msh files to check")->required();

  render_ = app.add_subcommand("render", "Draw the imported model into a PNG picture");
  render_->footer(
      "Shaded triangles of one detail level of each group, from a three-quarter view that frames\n"
      "the whole model, with the markers on top.\n\n"
      "Exit status: 0 clean, 1 the plug-in showed a message (the picture shows what it built), a\n"
      "file could not be read or written, or the model is too much to draw (nothing is written),\n"
      "2 usage error or a module that can't be loaded.");
  render_->add_option("FILE", renderOptions_.file, "The .msh file to draw")->required();
  render_->add_option("-o,--output", renderOptions_.output, "The PNG picture to write")
      ->required();
  render_->add_option("--size", size_, "The picture's size in pixels, WIDTHxHEIGHT")
      ->check(CLI::Validator(
          [](std::string& text) {
            int width = 0, height = 0;
            return ParsePictureSize(text, width, height)
                       ? std::string()
                       : "expected WIDTHxHEIGHT, each from 1 to " +
                             std::to_string(kMaxPictureSide) + ", e.g. 800x600";
          },
          "WxH"))
      ->capture_default_str();
  render_->add_option("--level", renderOptions_.level, "The detail level drawn of each group")
      ->check(CLI::NonNegativeNumber)
      ->capture_default_str();
  render_->add_option("--plugin", renderOptions_.plugin, "The plug-in module to load")
      ->capture_default_str();
  AddMemoryLimitOption(*render_, memoryLimit_);

  plugins_ = app.add_subcommand("plugins", "List plug-in modules with their kind and title");
  plugins_->footer(
      "Looks for modules (files ending .so) in DIR, by default the folder qmhost runs from; a\n"
      "module that fails to load is listed with the reason.\n\n"
      "Exit status: 0 a plug-in was found, 1 none was or the folder can't be read.");
  plugins_->add_option("DIR", pluginsFolder_, "The folder to look in");
}

std::optional<int> ToolCommands::Run() {
  if (convert_->parsed()) {
    convertOptions_.memoryLimit = MemoryLimitOf(memoryLimit_);
    return RunConvertCommand(convertOptions_);
  }
  if (check_->parsed()) return RunCheckCommand(checkFiles_, std::cout);
  if (render_->parsed()) {
    ParsePictureSize(size_, renderOptions_.width, renderOptions_.height);
    renderOptions_.memoryLimit = MemoryLimitOf(memoryLimit_);
    // The picture's own memory: running out says so, and the save's
    // temporary is gone with the exception.
    try {
      return RunRenderCommand(renderOptions_);
    } catch (const std::bad_alloc&) {
      std::cerr << "qmhost: not enough memory to render " << renderOptions_.file << '\n';
      return kExitMessage;
    }
  }
  if (plugins_->parsed())
    return RunPluginsCommand(pluginsFolder_.empty() ? ProgramFolder() : pluginsFolder_, std::cout);
  return std::nullopt;
}
