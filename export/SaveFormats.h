// The formats a model is saved in, in one table: each format's name, its
// extensions, a line of help, the settings it honours, its saver, the files
// a save writes and their writers. Command lines, help texts, usage messages
// and the fuzz target's list are made from the table, so a new format is its
// saver, its tests and an entry in SaveFormats.cpp.
//
//   const SaveFormat* format = FormatOfPath("ship.glb");
//   SaveSettings settings;                 // SaveSettings.h: axes, levels, textures
//   settings.source = "ship.msh";
//   ExportNotes notes;
//   std::string error;
//   if (!SaveModel(model, *format, settings, "ship.glb", notes, error)) ...
//   for (const std::string& line : notes.Lines()) ...
#ifndef QM_EXPORT_SAVEFORMATS_H
#define QM_EXPORT_SAVEFORMATS_H

#include <iosfwd>
#include <string>
#include <vector>

#include "Export.h"
#include "SafeSave.h"
#include "SaveSettings.h"
#include "qmModelLib.h"

// The settings a format honours, as bits of SaveFormat::options; the command
// line refuses a setting given for a format that does not honour it.
enum SaveOption : unsigned {
  kSaveFlat = 1u << 0,        // SaveSettings::flat
  kSaveUp = 1u << 1,          // SaveSettings::up
  kSaveLevel = 1u << 2,       // SaveSettings::level
  kSaveLevelFiles = 1u << 3,  // SaveSettings::levelFiles
  kSaveTextures = 1u << 4,    // SaveSettings::textures and textureFolders
};

struct SaveFormat {
  const char* name;                     // for --to: "glb"
  std::vector<std::string> extensions;  // of the path saved to, without the dot, in lower case
  const char* title;                    // for the user: "glTF"
  const char* help;                     // one line
  unsigned options;                     // the SaveOption bits it honours
  // Saves safely (SafeSave.h) to `path` and the files beside it that the
  // format writes: a failed save changes no file and leaves no temporary.
  bool (*save)(qmModel* model, const SaveSettings& settings, const std::string& path,
               ExportNotes& notes, std::string& error);
  // Every file a save of `model` to `path` writes, `path` last: also the
  // level files and the images beside it that the model and the settings
  // ask for. Reads no texture. With a null model, the files every save to
  // `path` writes, whatever the model.
  std::vector<std::string> (*paths)(qmModel* model, const SaveSettings& settings,
                                    const std::string& path);
  // The files of a save to `path`, each with the writer of its content, in
  // the order of paths(); false with `error` set when the save can't be made
  // (a level no group has, say). Whatever the writers put in streams is what
  // the save puts in the files.
  bool (*files)(qmModel* model, const SaveSettings& settings, const std::string& path,
                ExportNotes& notes, std::vector<FileToSave>& files, std::string& error);
};

// Every format, in the order the user sees them.
const std::vector<SaveFormat>& SaveFormats();

// The format of a name, in any letter case; null when none has it.
const SaveFormat* FormatNamed(const std::string& name);
// The format of a path's extension, in any letter case; null when none has it.
const SaveFormat* FormatOfPath(const std::string& path);

// "json, glb, gltf or obj": the formats' names for a sentence.
std::string FormatNameList();
// ".json, .glb, .gltf or .obj": their extensions for a sentence.
std::string FormatExtensionList();

// Saves as `format` does, and says in `error` when memory ran out ("not
// enough memory to save a.glb as glTF"): the savers remove their temporaries
// as the exception passes.
bool SaveModel(qmModel* model, const SaveFormat& format, const SaveSettings& settings,
               const std::string& path, ExportNotes& notes, std::string& error);

// Writes a save of one file to `out` (standard output). Standard output has
// no folder for the images a .gltf keeps beside it: they are left out, and
// the notes say so. False with `error` for a save of more files than one
// (an .obj and its .mtl, level files), for content that could not be
// formed, and when memory ran out.
bool WriteModel(qmModel* model, const SaveFormat& format, const SaveSettings& settings,
                std::ostream& out, ExportNotes& notes, std::string& error);

#endif  // QM_EXPORT_SAVEFORMATS_H
