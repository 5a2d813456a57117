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
// tree the names describe (binary) and once flat (embedded), the two shapes a
// save can take.
inline void SaveEveryFormat(qmModel* model) {
  SaveJson(model);

  NullBuffer discard;
  std::ostream out(&discard);
  ExportNotes notes;
  const ModelStructure tree = DescribeStructure(model);
  WriteGltf(model, &tree, GltfForm::Binary, out, notes);
  WriteGltf(model, nullptr, GltfForm::Embedded, out, notes);
  WriteObj(model, "model.mtl", out, notes);
  WriteMtl(model, out, notes);
  if (!notes.Empty() && notes.Text().empty()) FuzzFail("export notes without a sentence", -1);
}

#endif  // QM_FUZZ_FUZZSAVE_H
