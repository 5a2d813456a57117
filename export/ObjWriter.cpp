// The host model as Wavefront OBJ and its material library.
//
// OBJ keeps separate indices for positions and normals, as the host does, so
// the host's own indices are written (1-based, counted across the whole file).
// Texture coordinates belong to the vertices: vt n goes with v n. Numbers are
// the shortest text that reads back as the same float, formed in a block of
// memory that goes to the stream in large writes.
//
// Two habits of the readers people use shape the file. Blender drops `p`
// lines, and with them an object that has nothing else, so a vertex no
// triangle uses is a line from the vertex to itself (`l 7 7`), which Blender
// keeps as a vertex and assimp as a point. Both readers keep the last
// `usemtl` for the elements that follow, across objects, so every object with
// elements names its material, a default one where the mesh has none.
//
// The file's v runs down from the image's top, as in Direct3D, on which the
// files' own program and host draw, and as in glTF; OBJ's runs up from the
// bottom, so vt holds 1 - v. The images themselves are written as they are.

#include <cstdint>
#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "Export.h"
#include "MeshRead.h"
#include "NameText.h"
#include "NumberText.h"
#include "SaveContent.h"
#include "SavePlan.h"
#include "Textures.h"
#include "ValueFix.h"
#include "qmModelRead.h"

namespace {

// Text goes to the stream (the save's own 1 MiB buffer) in blocks of this.
constexpr std::size_t kBlockBytes = 256 << 10;
// The longest line formed in place: a keyword and three numbers, or a face
// of three corners of three indices each.
constexpr std::size_t kLineMax = 8 + 9 * (kNumberTextMax + 1);

// Text gathered in a block of memory and written to the stream when full.
class TextBlock {
 public:
  // The block is left as it comes: only what is formed in it is written.
  explicit TextBlock(std::ostream& out) : out_(out), block_(new char[kBlockBytes]) {}
  ~TextBlock() { Flush(); }
  TextBlock(const TextBlock&) = delete;
  TextBlock& operator=(const TextBlock&) = delete;

  // Room for a line of up to kLineMax characters; Done(end) keeps it.
  char* Line() {
    if (kBlockBytes - used_ < kLineMax) Flush();
    return block_.get() + used_;
  }
  void Done(char* end) { used_ = static_cast<std::size_t>(end - block_.get()); }

  TextBlock& operator<<(const std::string& text) {
    if (kBlockBytes - used_ < text.size()) Flush();
    if (text.size() > kBlockBytes) {
      out_.write(text.data(), static_cast<std::streamsize>(text.size()));
      return *this;
    }
    std::memcpy(block_.get() + used_, text.data(), text.size());
    used_ += text.size();
    return *this;
  }

  void Flush() {
    out_.write(block_.get(), static_cast<std::streamsize>(used_));
    used_ = 0;
  }

 private:
  std::ostream& out_;
  std::unique_ptr<char[]> block_;
  std::size_t used_ = 0;
};

char* Keyword(char* at, const char* keyword) {
  const std::size_t length = std::strlen(keyword);
  std::memcpy(at, keyword, length);
  return at + length;
}

// "KEYWORD a b c\n", each value made finite.
void Floats(TextBlock& text, const char* keyword, const float* values, int count, int& changed) {
  char* at = Keyword(text.Line(), keyword);
  for (int n = 0; n < count; ++n) {
    *at++ = ' ';
    at = FloatText(at, Finite(values[n], changed));
  }
  *at++ = '\n';
  text.Done(at);
}

void Floats(TextBlock& text, const char* keyword, const float* values, int count,
            ExportNotes& notes) {
  Floats(text, keyword, values, count, notes.adjustedValues);
}

// Positions and normals in the file's axes: with +Y up, (x, y, z) -> (x, z, -y).
void Turned(TextBlock& text, const char* keyword, const float* host, UpAxis up,
            ExportNotes& notes) {
  int& changed = notes.adjustedValues;
  const float finite[3] = {Finite(host[0], changed), Finite(host[1], changed),
                           Finite(host[2], changed)};
  const float yUp[3] = {finite[0], finite[2], -finite[1]};
  Floats(text, keyword, up == UpAxis::Y ? yUp : finite, 3, changed);
}

char* Index(char* at, std::uint64_t value) { return IntegerText(at, value); }

// A name as OBJ and MTL take it: a statement ends at the line's end, so no
// byte of a name may end a line, or a name could add statements of its own
// ("h\nv 9 9 9"). The C0 and C1 control characters and DEL (line ends among
// them, NEL too) become '_'; everything else is written as NameText writes it.
// A name is counted where it is defined (o, newmtl), not where it is used.
std::string ObjName(const char* name, int* replacedNames) {
  std::string bytes = name;
  bool replaced = false;
  for (char& c : bytes) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || (byte >= 0x7F && byte < 0xA0)) {
      c = '_';
      replaced = true;
    }
  }
  if (replaced && replacedNames != nullptr) ++*replacedNames;
  return NameText(bytes.c_str());
}

// A file name as the file system spells it (not a host name): only its C0
// controls and DEL are replaced, so UTF-8 stays whole.
std::string FileNameText(const std::string& name, ExportNotes& notes) {
  std::string text = name;
  bool replaced = false;
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      c = '_';
      replaced = true;
    }
  }
  if (replaced) ++notes.namesWithControls;
  return text;
}

// What the writer reuses from mesh to mesh.
struct Scratch {
  std::vector<std::uint16_t> triangles;
  std::vector<float> read;
  std::vector<bool> used;
};

// The material of meshes that have none, so that no object takes the one
// before it: a name no host material has.
std::string DefaultMaterialName(qmModel* model) {
  std::string name = "qmhost_no_material";
  while (qmModel_FindMaterialByName(model, name.c_str()) != -1) name += '_';
  return name;
}

bool NeedsDefaultMaterial(qmModel* model, const std::vector<bool>& kept) {
  for (std::size_t m = 0; m < kept.size(); ++m) {
    if (!kept[m]) continue;
    qmMesh* mesh = qmModel_GetMeshAt(model, static_cast<int>(m));
    if (qmMesh_GetVertexCount(mesh) > 0 &&
        qmModel_GetMaterialAt(model, qmMesh_GetMaterialIndex(mesh)) == nullptr)
      return true;
  }
  return false;
}

void WriteMesh(qmModel* model, qmMesh* mesh, UpAxis up, const std::string& defaultMaterial,
               std::uint64_t vertexBase, std::uint64_t normalBase, TextBlock& text,
               Scratch& scratch, ExportNotes& notes) {
  // An object, not a group: a group line lists group names split at spaces,
  // and level mesh names have one.
  text << "o " << ObjName(qmMesh_GetName(mesh), &notes.namesWithControls) << "\n";
  const int vertexCount = qmMesh_GetVertexCount(mesh);
  const int normalCount = qmMesh_GetNormalCount(mesh);
  if (vertexCount == 0) {
    for (int t = 0, n = qmMesh_GetTriangleCount(mesh); t < n; ++t) ++notes.droppedTriangles;
    return;
  }
  const qmMaterial* material = qmModel_GetMaterialAt(model, qmMesh_GetMaterialIndex(mesh));
  text << "usemtl " << (material != nullptr ? ObjName(qmMaterial_GetName(material), nullptr)
                                            : defaultMaterial)
       << "\n";

  ForEachVertex(mesh, 0, vertexCount, false, scratch.read,
                [&](int, const float* position, const float*) {
                  Turned(text, "v", position, up, notes);
                });
  ForEachVertex(mesh, 0, vertexCount, true, scratch.read,
                [&](int, const float*, const float* uv) {
                  const float flipped[2] = {Finite(uv[0], notes), 1.0f - Finite(uv[1], notes)};
                  Floats(text, "vt", flipped, 2, notes);
                });
  scratch.read.resize(3 * kReadRun);
  for (int first = 0; first < normalCount; first += kReadRun) {
    const int read = qmMesh_CopyNormals(mesh, first, kReadRun, scratch.read.data());
    for (int n = 0; n < read; ++n) Turned(text, "vn", &scratch.read[3 * n], up, notes);
  }

  std::vector<bool>& used = scratch.used;
  used.assign(static_cast<std::size_t>(vertexCount), false);
  ForEachTriangle(mesh, scratch.triangles, [&](const std::uint16_t* t) {
    if (!IsWhole(t, vertexCount, normalCount)) {
      ++notes.droppedTriangles;
      return;
    }
    char* at = Keyword(text.Line(), "f");
    for (int c = 0; c < 3; ++c) {
      used[t[c]] = true;
      const std::uint64_t v = vertexBase + t[c] + 1;
      *at++ = ' ';
      // The vertex's texture coordinates have its number, and so, as the
      // import gives them, has its normal: written once, copied after.
      char* const digits = at;
      at = Index(at, v);
      const std::size_t length = static_cast<std::size_t>(at - digits);
      *at++ = '/';
      std::memcpy(at, digits, length);
      at += length;
      if (normalCount > 0) {
        *at++ = '/';
        const std::uint64_t normal = normalBase + t[3 + c] + 1;
        if (normal == v) {
          std::memcpy(at, digits, length);
          at += length;
        } else {
          at = Index(at, normal);
        }
      }
    }
    *at++ = '\n';
    text.Done(at);
  });
  for (int v = 0; v < vertexCount; ++v) {
    if (used[static_cast<std::size_t>(v)]) continue;
    const std::uint64_t index = vertexBase + static_cast<std::uint64_t>(v) + 1;
    char* at = Keyword(text.Line(), "l ");
    at = Index(at, index);
    *at++ = ' ';
    at = Index(at, index);
    *at++ = '\n';
    text.Done(at);
  }
}

void WriteObjFile(qmModel* model, const std::vector<bool>& kept, UpAxis up,
                  const std::string& mtlName, const std::string& defaultMaterial,
                  std::ostream& out, ExportNotes& notes) {
  TextBlock text(out);
  text << "# qmhost\n";
  if (!mtlName.empty()) text << "mtllib " << FileNameText(mtlName, notes) << "\n";
  std::uint64_t vertexBase = 0;
  std::uint64_t normalBase = 0;
  Scratch scratch;
  for (int m = 0, n = qmModel_GetMeshCount(model); m < n; ++m) {
    if (!kept[static_cast<std::size_t>(m)]) continue;
    qmMesh* mesh = qmModel_GetMeshAt(model, m);
    WriteMesh(model, mesh, up, defaultMaterial, vertexBase, normalBase, text, scratch, notes);
    vertexBase += static_cast<std::uint64_t>(qmMesh_GetVertexCount(mesh));
    normalBase += static_cast<std::uint64_t>(qmMesh_GetNormalCount(mesh));
  }
}

// Ka, Kd, Ks and Ke are the host's colours without their alpha; d, the
// opacity, is 1 - transparency, kept within [0, 1]; map_Kd the texture's PNG
// beside the library.
void WriteMtlFile(qmModel* model, const SaveTextures* textures, const std::string& defaultMaterial,
                  std::ostream& out, ExportNotes& notes) {
  TextBlock text(out);
  text << "# qmhost\n";
  for (int m = 0, n = qmModel_GetMaterialCount(model); m < n; ++m) {
    const qmMaterial* material = qmModel_GetMaterialAt(model, m);
    text << "newmtl " << ObjName(qmMaterial_GetName(material), &notes.namesWithControls) << "\n";
    Floats(text, "Ka", qmMaterial_GetAmbient(material), 3, notes);
    Floats(text, "Kd", qmMaterial_GetDiffuse(material), 3, notes);
    Floats(text, "Ks", qmMaterial_GetSpecular(material), 3, notes);
    Floats(text, "Ke", qmMaterial_GetEmissive(material), 3, notes);
    const float shininess = qmMaterial_GetShininess(material);
    Floats(text, "Ns", &shininess, 1, notes);
    const float opacity =
        Clamped01(1.0f - Finite(qmMaterial_GetTransparency(material), notes), notes);
    Floats(text, "d", &opacity, 1, notes);
    const int image = textures != nullptr ? textures->ImageOf(m) : -1;
    if (image >= 0)
      text << "map_Kd "
           << FileNameText(textures->Images()[static_cast<std::size_t>(image)].besideName, notes)
           << "\n";
    text << "\n";
  }
  if (!defaultMaterial.empty()) text << "newmtl " << defaultMaterial << "\nKd 1 1 1\nd 1\n\n";
}

std::string MtlPath(const std::string& objPath) { return WithoutExtension(objPath) + ".mtl"; }

// The save's state, shared by the writers of its files.
struct ObjSave : SavePlan {
  std::string defaultMaterial;  // empty when every kept mesh has a material
};

// The library, the images, the level files, then the file saved to.
std::vector<std::string> SavePaths(const SaveContent& content, const SaveTextures& textures) {
  std::vector<std::string> paths = {MtlPath(content.files.front().path)};
  for (const std::string& image : textures.BesidePaths()) paths.push_back(image);
  for (std::size_t n = 1; n < content.files.size(); ++n) paths.push_back(content.files[n].path);
  paths.push_back(content.files.front().path);
  return paths;
}

}  // namespace

bool ObjFiles(qmModel* model, const SaveSettings& settings, const std::string& path,
              ExportNotes& notes, std::vector<FileToSave>& files, std::string& error) {
  auto save = std::make_shared<ObjSave>();
  if (!PlanSave(model, settings, path, SavePaths, *save, notes, error)) return false;
  for (const FileContent& file : save->content.files)
    if (NeedsDefaultMaterial(model, file.kept)) save->defaultMaterial = DefaultMaterialName(model);

  // The library first: an .obj in place always finds the library it names.
  const std::string mtlName = FileName(MtlPath(path));
  files.clear();
  files.push_back({MtlPath(path), [model, save, &notes](std::ostream& out) {
                     WriteMtlFile(model, save->textures.get(), save->defaultMaterial, out, notes);
                     return out.good();
                   }});
  AddImageFiles(save, files);
  const UpAxis up = settings.up;
  for (std::size_t n = 1; n <= save->content.files.size(); ++n) {
    const std::size_t index = n % save->content.files.size();
    files.push_back({save->content.files[index].path,
                     [model, save, index, up, mtlName, &notes](std::ostream& out) {
                       WriteObjFile(model, save->content.files[index].kept, up, mtlName,
                                    save->defaultMaterial, out, notes);
                       return out.good();
                     }});
  }
  return true;
}

bool SaveObj(qmModel* model, const SaveSettings& settings, const std::string& path,
             ExportNotes& notes, std::string& error) {
  std::vector<FileToSave> files;
  return ObjFiles(model, settings, path, notes, files, error) && SaveFiles(files, error);
}

std::vector<std::string> ObjSavePaths(qmModel* model, const SaveSettings& settings,
                                      const std::string& path) {
  return PlannedPaths(model, settings, path, SavePaths, {MtlPath(path), path});
}

void WriteObj(qmModel* model, const SaveSettings& settings, const std::string& mtlName,
              std::ostream& out, ExportNotes& notes) {
  SaveSettings one = settings;
  one.levelFiles = false;
  const SaveContent content = PlanContent(model, one, "model.obj");
  if (!content.error.empty()) return;
  const std::vector<bool>& kept = content.files.front().kept;
  WriteObjFile(model, kept, settings.up, mtlName,
               NeedsDefaultMaterial(model, kept) ? DefaultMaterialName(model) : std::string(),
               out, notes);
  notes.levelsLeftOut = LevelsLeftOutText(content.levelsLeftOut);
}

void WriteMtl(qmModel* model, std::ostream& out, ExportNotes& notes) {
  WriteMtlFile(model, nullptr, std::string(), out, notes);
}
