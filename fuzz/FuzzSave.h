// What fuzz_import_save does with an imported model: save it in every format
// qmhost writes, into streams that keep nothing, and check what can be
// checked without a reader. Shared with the suite's replay of fuzz finds.
#ifndef QM_FUZZ_FUZZSAVE_H
#define QM_FUZZ_FUZZSAVE_H

#include <cstddef>
#include <memory>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "FuzzModel.h"
#include "ModelJson.h"
#include "SaveFormats.h"

// Takes every byte and keeps none: the savers' work is the point, not their text.
class NullBuffer : public std::streambuf {
 protected:
  int_type overflow(int_type c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char*, std::streamsize count) override { return count; }
};

// Takes the OBJ and MTL text as it is written and checks that every line
// starts with a statement the writer writes: a name from the file must never
// end a line and start one of its own.
class ObjLineCheck : public std::streambuf {
 protected:
  int_type overflow(int_type c) override {
    if (c != traits_type::eof()) Take(traits_type::to_char_type(c));
    return traits_type::not_eof(c);
  }
  std::streamsize xsputn(const char* data, std::streamsize count) override {
    for (std::streamsize n = 0; n < count; ++n) Take(data[n]);
    return count;
  }

 private:
  void Take(char c) {
    if (c == '\n') {
      if (inWord_) Check();
      atLineStart_ = true;
      inWord_ = false;
      return;
    }
    if (atLineStart_) {
      atLineStart_ = false;
      inWord_ = true;
      word_.clear();
    }
    if (!inWord_) return;
    if (c == ' ') {
      Check();
      inWord_ = false;
    } else {
      word_ += c;
    }
  }
  void Check() const {
    static const char* const kStatements[] = {"#",  "mtllib", "o",  "usemtl", "v",  "vt",
                                              "vn", "f",      "l",  "newmtl", "Ka", "Kd",
                                              "Ks", "Ke",     "Ns", "d",      "map_Kd"};
    for (const char* statement : kStatements)
      if (word_ == statement) return;
    FuzzFail("an OBJ or MTL line starts with no statement the writer writes", -1);
  }

  bool atLineStart_ = true;
  bool inWord_ = false;
  std::string word_;
};

// The JSON must parse back (any name byte included) and list what the model holds.
inline void SaveJson(qmModel* model) {
  const std::string text = ModelJson(model);
  const nlohmann::json json = nlohmann::json::parse(text, nullptr, false);
  if (json.is_discarded()) FuzzFail("saved JSON does not parse", -1);
  if (json["meshes"].size() != static_cast<std::size_t>(qmModel_GetMeshCount(model)) ||
      json["materials"].size() != static_cast<std::size_t>(qmModel_GetMaterialCount(model)))
    FuzzFail("saved JSON lists another number of meshes or materials", -1);
}

// Every save format of the table (SaveFormats.h), each file of a save into a
// stream that checks what can be checked of it: OBJ and MTL line by line, the
// others only written. Each format goes once with every detail level in the
// host's axes (the tree the names describe) and, where it honours --flat,
// once flat with level 0, the shapes a save can take. The JSON is also
// parsed back.
inline void SaveEveryFormat(qmModel* model) {
  SaveJson(model);
  ExportNotes notes;
  for (const SaveFormat& format : SaveFormats()) {
    const std::string path = std::string("model.") + format.extensions.front();
    for (const bool flat : {false, true}) {
      if (flat && (format.options & kSaveFlat) == 0) continue;
      SaveSettings settings;
      settings.flat = flat;
      if (!flat) {
        if ((format.options & kSaveLevel) != 0) settings.level = SaveSettings::kAllLevels;
        if ((format.options & kSaveUp) != 0) settings.up = UpAxis::Z;
      }
      std::vector<FileToSave> files;
      std::string error;
      // Only a level no group has can stop a save of a fuzzed model.
      if (!format.files(model, settings, path, notes, files, error)) {
        if (settings.level == SaveSettings::kAllLevels)
          FuzzFail("a save of every level could not be made", -1);
        continue;
      }
      NullBuffer discard;
      ObjLineCheck lines;
      std::streambuf* const buffer =
          std::string(format.name) == "obj" ? static_cast<std::streambuf*>(&lines) : &discard;
      for (const FileToSave& file : files) {
        std::ostream out(buffer);
        file.write(out);
      }
    }
  }
  if (notes.Changed() && notes.Text().empty()) FuzzFail("export notes without a sentence", -1);
  if (notes.Empty() != notes.Lines().empty()) FuzzFail("export notes without a line", -1);
}

#endif  // QM_FUZZ_FUZZSAVE_H
