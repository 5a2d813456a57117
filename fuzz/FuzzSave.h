// What fuzz_import_save does with an imported model: save it in every format
// qmhost writes, into streams that keep nothing, and check what can be
// checked without a reader. Shared with the suite's replay of fuzz finds.
#ifndef QM_FUZZ_FUZZSAVE_H
#define QM_FUZZ_FUZZSAVE_H

#include <cstddef>
#include <ostream>
#include <streambuf>
#include <string>

#include <nlohmann/json.hpp>

#include "Export.h"
#include "FuzzModel.h"
#include "ModelJson.h"
#include "ModelStructure.h"

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

// Every save format of qmhost; a new one joins here. glTF goes once as the
// tree the names describe with every level (binary) and once flat with
// level 0 (embedded), the shapes a save can take; OBJ with the host's axes.
inline void SaveEveryFormat(qmModel* model) {
  SaveJson(model);

  NullBuffer discard;
  std::ostream out(&discard);
  ExportNotes notes;
  SaveSettings all;
  all.level = SaveSettings::kAllLevels;
  WriteGltf(model, all, GltfForm::Binary, out, notes);
  SaveSettings flat;
  flat.flat = true;
  WriteGltf(model, flat, GltfForm::Embedded, out, notes);
  ObjLineCheck lines;
  std::ostream obj(&lines);
  SaveSettings hostAxes;
  hostAxes.up = UpAxis::Z;
  WriteObj(model, hostAxes, "model.mtl", obj, notes);
  WriteMtl(model, obj, notes);
  if (notes.Changed() && notes.Text().empty()) FuzzFail("export notes without a sentence", -1);
  if (notes.Empty() != notes.Lines().empty()) FuzzFail("export notes without a line", -1);
}

#endif  // QM_FUZZ_FUZZSAVE_H
