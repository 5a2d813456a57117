// import_digest [--mutants N] [--sample] PATH...
//
// Prints one line per input: its name, a digest of every bit of the model the
// import builds (names, counts, each float's bits, each index) and of its JSON
// text, and the message the user would see. Built from two versions of the
// import (fuzz/diff-import.sh builds one from another commit), the two outputs
// must agree line for line: the inputs are the files and folders named, every
// truncation of the sample (--sample), and N mutants of each file named, drawn
// from a fixed sequence so that both builds see the same bytes.
//
// Each import starts from a model that already holds a mesh and a material, so
// an import that leaves the model as it was differs from one that empties it.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "FileBuffer.h"
#include "ImportMeshFile.h"
#include "ModelJson.h"
#include "MshWriter.h"
#include "SampleFile.h"
#include "qmModelRead.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// FNV-1a over 64 bits.
class Digest {
 public:
  void Add(const void* data, std::size_t size) {
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t n = 0; n < size; ++n) {
      hash_ ^= bytes[n];
      hash_ *= 0x100000001B3ull;
    }
  }
  void Add(int value) { Add(&value, sizeof value); }
  void Add(float value) { Add(&value, sizeof value); }
  void Add(const char* text) { Add(text, std::strlen(text) + 1); }
  void AddFloats(const float* values, int count) {
    if (values == nullptr) return Add(-1);
    Add(values, sizeof(float) * static_cast<std::size_t>(count));
  }
  std::uint64_t Value() const { return hash_; }

 private:
  std::uint64_t hash_ = 0xCBF29CE484222325ull;
};

std::uint64_t ModelDigest(qmModel* model) {
  Digest digest;
  digest.Add(qmModel_GetTotalFrames(model));
  const int meshCount = qmModel_GetMeshCount(model);
  digest.Add(meshCount);
  for (int m = 0; m < meshCount; ++m) {
    qmMesh* mesh = qmModel_GetMeshAt(model, m);
    digest.Add(qmMesh_GetName(mesh));
    digest.Add(qmMesh_GetMaterialIndex(mesh));
    const int vertices = qmMesh_GetVertexCount(mesh);
    const int normals = qmMesh_GetNormalCount(mesh);
    const int triangles = qmMesh_GetTriangleCount(mesh);
    digest.Add(vertices);
    digest.Add(normals);
    digest.Add(triangles);
    for (int v = 0; v < vertices; ++v) {
      qmVertex* vertex = qmMesh_GetVertexAt(mesh, v);
      digest.AddFloats(qmVertex_GetPosition(vertex), 3);
      digest.AddFloats(qmVertex_GetTexCoords(vertex), 2);
      digest.Add(qmVertex_GetBoneIndex(vertex));
    }
    for (int n = 0; n < normals; ++n) digest.AddFloats(qmMesh_GetNormalAt(mesh, n), 3);
    for (int t = 0; t < triangles; ++t) {
      qmTriangle* triangle = qmMesh_GetTriangleAt(mesh, t);
      digest.Add(qmTriangle_GetVertexIndices(triangle), 3 * sizeof(std::uint16_t));
      digest.Add(qmTriangle_GetNormalIndices(triangle), 3 * sizeof(std::uint16_t));
    }
  }
  const int materialCount = qmModel_GetMaterialCount(model);
  digest.Add(materialCount);
  for (int m = 0; m < materialCount; ++m) {
    qmMaterial* material = qmModel_GetMaterialAt(model, m);
    digest.Add(qmMaterial_GetName(material));
    digest.AddFloats(qmMaterial_GetAmbient(material), 4);
    digest.AddFloats(qmMaterial_GetDiffuse(material), 4);
    digest.AddFloats(qmMaterial_GetSpecular(material), 4);
    digest.AddFloats(qmMaterial_GetEmissive(material), 4);
    digest.Add(qmMaterial_GetShininess(material));
    digest.Add(qmMaterial_GetTransparency(material));
  }
  return digest.Value();
}

void PrintDigest(const std::string& name, const Bytes& bytes) {
  qmModelPtr model(qmModel_Create());
  qmMesh* before = qmModel_GetMeshAt(model.get(), qmModel_AddMesh(model.get()));
  qmMesh_SetName(before, "held before the import");
  qmMaterial_SetName(qmModel_GetMaterialAt(model.get(), qmModel_AddMaterial(model.get())), "before");

  FileBuffer myfile(bytes.data(), bytes.size());
  const ImportReport report = ImportMeshFile(model.get(), myfile);
  const std::string message = report.Ok() ? std::string() : report.Message();
  const std::string json = ModelJson(model.get());
  Digest jsonDigest;
  jsonDigest.Add(json.data(), json.size());
  std::printf("%s %016llx %016llx %s\n", name.c_str(),
              static_cast<unsigned long long>(ModelDigest(model.get())),
              static_cast<unsigned long long>(jsonDigest.Value()), message.c_str());
}

// xorshift64*: the same sequence in every build.
class Draw {
 public:
  std::uint64_t Next() {
    state_ ^= state_ >> 12;
    state_ ^= state_ << 25;
    state_ ^= state_ >> 27;
    return state_ * 0x2545F4914F6CDD1Dull;
  }
  std::size_t Below(std::size_t n) { return n == 0 ? 0 : static_cast<std::size_t>(Next() % n); }

 private:
  std::uint64_t state_ = 0x9E3779B97F4A7C15ull;
};

// One to four edits of the kinds that reach a reader's checks: a flipped bit,
// a random byte, a count field set to an edge value, a cut, bytes appended, a
// stretch copied over another.
Bytes Mutant(Bytes bytes, Draw& draw) {
  static const std::uint32_t kEdges[] = {0,          1,          2,          3,
                                         0x7F,       0xFF,       0x100,      0x7FFF,
                                         0x8000,     0xFFFF,     0x10000,    0x7FFFFFFF,
                                         0x80000000, 0xFFFFFFFF, 0xFFFFFFFE, 65536 * 3};
  const std::size_t edits = 1 + draw.Below(4);
  for (std::size_t e = 0; e < edits; ++e) {
    const std::size_t size = bytes.size();
    switch (draw.Below(6)) {
      case 0:
        if (size) bytes[draw.Below(size)] ^= static_cast<std::uint8_t>(1u << draw.Below(8));
        break;
      case 1:
        if (size) bytes[draw.Below(size)] = static_cast<std::uint8_t>(draw.Next());
        break;
      case 2: {
        const std::size_t width = draw.Below(2) ? 4 : 2;
        if (size < width) break;
        const std::size_t at = draw.Below(size - width + 1);
        const std::uint32_t value = kEdges[draw.Below(sizeof kEdges / sizeof kEdges[0])];
        for (std::size_t n = 0; n < width; ++n) bytes[at + n] = static_cast<std::uint8_t>(value >> (8 * n));
        break;
      }
      case 3:
        bytes.resize(draw.Below(size + 1));
        break;
      case 4:
        for (std::size_t n = draw.Below(64) + 1; n > 0; --n)
          bytes.push_back(static_cast<std::uint8_t>(draw.Next()));
        break;
      case 5: {
        if (size < 2) break;
        const std::size_t from = draw.Below(size), to = draw.Below(size);
        const std::size_t length = draw.Below(std::min<std::size_t>(size - std::max(from, to), 400) + 1);
        std::memmove(bytes.data() + to, bytes.data() + from, length);
        break;
      }
    }
  }
  return bytes;
}

bool ReadFile(const std::filesystem::path& path, Bytes& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t mutants = 0;
  bool sample = false;
  std::vector<std::filesystem::path> inputs;
  for (int a = 1; a < argc; ++a) {
    const std::string arg = argv[a];
    if (arg == "--mutants" && a + 1 < argc) {
      mutants = std::stoul(argv[++a]);
    } else if (arg == "--sample") {
      sample = true;
    } else if (std::filesystem::is_directory(arg)) {
      for (const auto& entry : std::filesystem::directory_iterator(arg))
        if (entry.is_regular_file()) inputs.push_back(entry.path());
    } else {
      inputs.push_back(arg);
    }
  }
  std::sort(inputs.begin(), inputs.end());

  if (sample) {
    const Bytes whole = WriteMsh(SampleFile());
    for (std::size_t length = 0; length <= whole.size(); ++length)
      PrintDigest("sample:" + std::to_string(length), Bytes(whole.begin(), whole.begin() + length));
  }
  Draw draw;
  for (const std::filesystem::path& path : inputs) {
    Bytes bytes;
    if (!ReadFile(path, bytes)) {
      std::fprintf(stderr, "import_digest: cannot read %s\n", path.c_str());
      return 2;
    }
    const std::string name = path.filename().string();
    PrintDigest(name, bytes);
    for (std::size_t m = 0; m < mutants; ++m)
      PrintDigest(name + ":" + std::to_string(m), Mutant(bytes, draw));
  }
  return 0;
}
