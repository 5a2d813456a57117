// The formats a model is saved in, in one table: each format's name, its
// extensions, a line of help, the options it honours, its saver, its writer
// to a stream and the files a save writes. Command lines, help texts, usage
// messages and the fuzz target's list are made from the table, so a new
// format is its saver, its tests and an entry in SaveFormats.cpp.
//
//   const SaveFormat* format = FormatOfPath("ship.glb");
//   SaveSettings settings;
//   ExportNotes notes;
//   std::string error;
//   if (!SaveModel(model, *format, settings, "ship.glb", notes, error)) ...
#ifndef QM_EXPORT_SAVEFORMATS_H
#define QM_EXPORT_SAVEFORMATS_H

#include <iosfwd>
#include <string>
#include <vector>

#include "Export.h"
#include "qmModelLib.h"

// What the user chose about a save, for every format: each saver takes what
// it honours (SaveFormat::options) and leaves the rest.
struct SaveSettings {
  bool flat = false;  // glTF: a plain list of nodes in model order, not the file's tree
};

// The settings a format honours, as bits of SaveFormat::options; the command
// line refuses a setting given for a format that does not honour it.
enum SaveOption : unsigned {
  kSaveFlat = 1u << 0,  // SaveSettings::flat
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
  // Every file a save to `path` writes, `path` last.
  std::vector<std::string> (*paths)(const std::string& path);
  // Writes the files of a save to `path` into `out`, a stream for each of
  // paths(path) in that order; false when the content could not be formed.
  bool (*write)(qmModel* model, const SaveSettings& settings, const std::string& path,
                const std::vector<std::ostream*>& out, ExportNotes& notes);
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

// Writes a save of one file to `out` (standard output); false with `error`
// for a format whose save is more files than one, or whose content could not
// be formed, or when memory ran out.
bool WriteModel(qmModel* model, const SaveFormat& format, const SaveSettings& settings,
                std::ostream& out, ExportNotes& notes, std::string& error);

#endif  // QM_EXPORT_SAVEFORMATS_H
