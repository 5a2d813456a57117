// In-memory stand-in for the host's model library.
//
// Meshes and materials live behind stable pointers (the handles); vertices,
// normals and triangles live in chunked lists so that a handle taken with
// GetAt stays valid while more are appended. Look-ups by name go through a
// hash index, so an import that finds a material per mesh does not scan the
// whole model.

#include "qmModelLib.h"
#include "qmModelRead.h"

#include <cstddef>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <type_traits>
#include <utility>
#include <unordered_map>
#include <vector>

namespace {

constexpr size_t kMaxName = 31;  // the host's names are 32-byte buffers

std::string CutName(const char* name) {
  if (name == nullptr) return std::string();
  const void* nul = std::memchr(name, 0, kMaxName);
  size_t length = nul ? static_cast<size_t>(static_cast<const char*>(nul) - name) : kMaxName;
  return std::string(name, length);
}

// Name -> indices of the objects that carry it, ascending, so the first is the
// one a Find returns. Most names are carried by one object: its index is kept
// in the entry itself, and only further ones in a list.
class NameIndex {
 public:
  int Find(const std::string& name) const {
    auto it = byName_.find(name);
    return it == byName_.end() ? -1 : it->second.first;
  }
  void Add(const std::string& name, int index) {
    auto [it, added] = byName_.try_emplace(name, Carriers{index, {}});
    if (added) return;
    Carriers& carriers = it->second;
    if (index < carriers.first) std::swap(index, carriers.first);
    auto at = carriers.more.end();
    while (at != carriers.more.begin() && *(at - 1) > index) --at;
    carriers.more.insert(at, index);
  }
  void Remove(const std::string& name, int index) {
    auto it = byName_.find(name);
    if (it == byName_.end()) return;
    Carriers& carriers = it->second;
    if (carriers.first == index) {
      if (carriers.more.empty()) {
        byName_.erase(it);
        return;
      }
      carriers.first = carriers.more.front();
      carriers.more.erase(carriers.more.begin());
      return;
    }
    for (auto at = carriers.more.begin(); at != carriers.more.end(); ++at) {
      if (*at == index) {
        carriers.more.erase(at);
        break;
      }
    }
  }
  void Clear() { byName_.clear(); }

 private:
  struct Carriers {
    int first;              // the lowest index of that name
    std::vector<int> more;  // the others, ascending
  };
  std::unordered_map<std::string, Carriers> byName_;
};

struct Normal {
  float xyz[3];
};

// A list of elements in chunks of 4, 8, 16, ... up to 256 elements, then of
// 256 each. Appending never moves an element, so handles stay valid; finding
// element i takes a few instructions. An empty list holds no memory and a
// small one a small chunk (a deque takes a 512-byte block per list), and a
// large one leaves at most one chunk's tail unused. Only the elements appended
// are constructed, so that tail is never touched.
template <typename T>
class ChunkedList {
  static_assert(std::is_trivially_destructible<T>::value, "elements are never destroyed");

 public:
  ChunkedList() = default;
  ChunkedList(const ChunkedList&) = delete;
  ChunkedList& operator=(const ChunkedList&) = delete;
  ~ChunkedList() {
    for (T* chunk : chunks_) ::operator delete(chunk);
  }

  size_t size() const { return size_; }

  T& operator[](size_t index) { return *Locate(index); }
  const T& operator[](size_t index) const { return *Locate(index); }

  void emplace_back() {
    if (next_ == end_) Grow();
    new (next_++) T();
    ++size_;
  }

 private:
  static constexpr unsigned kFirstBits = 2;
  static constexpr unsigned kLastBits = 8;
  static constexpr size_t kFirst = size_t{1} << kFirstBits;
  static constexpr size_t kLast = size_t{1} << kLastBits;
  static constexpr size_t kGrowingChunks = kLastBits - kFirstBits + 1;
  // Elements in the growing chunks: kFirst * (2^kGrowingChunks - 1).
  static constexpr size_t kGrowing = (kFirst << kGrowingChunks) - kFirst;

  // Out of line, so that appending in the common case needs no stack frame.
#if defined(__GNUC__)
  __attribute__((noinline))
#endif
  void Grow() {
    const size_t count = chunks_.size();
    const size_t length = count < kGrowingChunks ? kFirst << count : kLast;
    T* chunk = static_cast<T*>(::operator new(length * sizeof(T)));
    try {
      chunks_.push_back(chunk);
    } catch (...) {
      ::operator delete(chunk);
      throw;
    }
    next_ = chunk;
    end_ = chunk + length;
  }

  T* Locate(size_t index) const {
    // An importer asks for the element it has just appended far more often
    // than for any other.
    if (index + 1 == size_) return next_ - 1;
    if (index >= kGrowing) {
      const size_t rest = index - kGrowing;
      return chunks_[kGrowingChunks + (rest >> kLastBits)] + (rest & (kLast - 1));
    }
    // Growing chunk c holds kFirst * 2^c elements, from kFirst * (2^c - 1) on.
    const unsigned c = HighestBit((index >> kFirstBits) + 1);
    return chunks_[c] + (index - ((kFirst << c) - kFirst));
  }

  static unsigned HighestBit(size_t value) {
#if defined(__GNUC__)
    return static_cast<unsigned>(63 - __builtin_clzll(static_cast<unsigned long long>(value)));
#else
    unsigned bit = 0;
    while (value >>= 1) ++bit;
    return bit;
#endif
  }

  std::vector<T*> chunks_;
  size_t size_ = 0;
  T* next_ = nullptr;  // where the next element goes, in the last chunk
  T* end_ = nullptr;   // the end of the last chunk
};

}  // namespace

struct qmVertex {
  float position[3] = {0, 0, 0};
  float texCoords[2] = {0, 0};
  int boneIndex = -1;
};

struct qmTriangle {
  uint16_t vertexIndices[3] = {0, 0, 0};
  uint16_t normalIndices[3] = {0, 0, 0};
};

struct qmMaterial {
  qmModel* owner = nullptr;
  int index = 0;
  std::string name;
  float ambient[4] = {0, 0, 0, 0};
  float diffuse[4] = {0, 0, 0, 0};
  float specular[4] = {0, 0, 0, 0};
  float emissive[4] = {0, 0, 0, 0};
  float shininess = 0;
  float transparency = 0;
};

struct qmMesh {
  qmModel* owner = nullptr;
  int index = 0;
  std::string name;
  int materialIndex = -1;
  ChunkedList<qmVertex> vertices;
  ChunkedList<Normal> normals;
  ChunkedList<qmTriangle> triangles;
};

struct qmModel {
  int totalFrames = 0;
  std::vector<std::unique_ptr<qmMesh>> meshes;
  std::vector<std::unique_ptr<qmMaterial>> materials;
  NameIndex meshNames;
  NameIndex materialNames;
};

namespace {

template <typename T>
T* At(std::vector<std::unique_ptr<T>>& list, int index) {
  if (index < 0 || static_cast<size_t>(index) >= list.size()) return nullptr;
  return list[static_cast<size_t>(index)].get();
}

template <typename T>
T* At(ChunkedList<T>& list, int index) {
  if (index < 0 || static_cast<size_t>(index) >= list.size()) return nullptr;
  return &list[static_cast<size_t>(index)];
}

template <typename T>
int Append(ChunkedList<T>& list) {
  list.emplace_back();
  return static_cast<int>(list.size() - 1);
}

void Copy4(float* to, const float* from) {
  if (from != nullptr) std::memcpy(to, from, 4 * sizeof(float));
}

}  // namespace

extern "C" {

void qmModel_Destroy(qmModel* model) {
  if (model == nullptr) return;
  model->totalFrames = 0;
  model->meshes.clear();
  model->materials.clear();
  model->meshNames.Clear();
  model->materialNames.Clear();
}

void qmModel_SetTotalFrames(qmModel* model, int totalFrames) {
  if (model != nullptr) model->totalFrames = totalFrames;
}

int qmModel_AddMesh(qmModel* model) {
  if (model == nullptr) return -1;
  auto mesh = std::make_unique<qmMesh>();
  mesh->owner = model;
  mesh->index = static_cast<int>(model->meshes.size());
  model->meshNames.Add("", mesh->index);
  model->meshes.push_back(std::move(mesh));
  return model->meshes.back()->index;
}

int qmModel_AddMaterial(qmModel* model) {
  if (model == nullptr) return -1;
  auto material = std::make_unique<qmMaterial>();
  material->owner = model;
  material->index = static_cast<int>(model->materials.size());
  model->materialNames.Add("", material->index);
  model->materials.push_back(std::move(material));
  return model->materials.back()->index;
}

qmMesh* qmModel_GetMeshAt(qmModel* model, int index) {
  return model == nullptr ? nullptr : At(model->meshes, index);
}

qmMaterial* qmModel_GetMaterialAt(qmModel* model, int index) {
  return model == nullptr ? nullptr : At(model->materials, index);
}

int qmModel_FindMeshByName(qmModel* model, const char* name) {
  return model == nullptr ? -1 : model->meshNames.Find(CutName(name));
}

int qmModel_FindMaterialByName(qmModel* model, const char* name) {
  return model == nullptr ? -1 : model->materialNames.Find(CutName(name));
}

void qmMesh_SetName(qmMesh* mesh, const char* name) {
  if (mesh == nullptr) return;
  std::string cut = CutName(name);
  mesh->owner->meshNames.Remove(mesh->name, mesh->index);
  mesh->owner->meshNames.Add(cut, mesh->index);
  mesh->name = std::move(cut);
}

void qmMaterial_SetName(qmMaterial* material, const char* name) {
  if (material == nullptr) return;
  std::string cut = CutName(name);
  material->owner->materialNames.Remove(material->name, material->index);
  material->owner->materialNames.Add(cut, material->index);
  material->name = std::move(cut);
}

void qmMesh_SetMaterialIndex(qmMesh* mesh, int materialIndex) {
  if (mesh != nullptr) mesh->materialIndex = materialIndex;
}

void qmMaterial_SetAmbient(qmMaterial* material, const float* rgba) {
  if (material != nullptr) Copy4(material->ambient, rgba);
}
void qmMaterial_SetDiffuse(qmMaterial* material, const float* rgba) {
  if (material != nullptr) Copy4(material->diffuse, rgba);
}
void qmMaterial_SetSpecular(qmMaterial* material, const float* rgba) {
  if (material != nullptr) Copy4(material->specular, rgba);
}
void qmMaterial_SetEmissive(qmMaterial* material, const float* rgba) {
  if (material != nullptr) Copy4(material->emissive, rgba);
}
void qmMaterial_SetShininess(qmMaterial* material, float shininess) {
  if (material != nullptr) std::memcpy(&material->shininess, &shininess, sizeof(float));
}
void qmMaterial_SetTransparency(qmMaterial* material, float transparency) {
  if (material != nullptr) material->transparency = transparency;
}

int qmMesh_AddVertex(qmMesh* mesh) { return mesh == nullptr ? -1 : Append(mesh->vertices); }
int qmMesh_AddVertexNormal(qmMesh* mesh) { return mesh == nullptr ? -1 : Append(mesh->normals); }
int qmMesh_AddTriangle(qmMesh* mesh) { return mesh == nullptr ? -1 : Append(mesh->triangles); }

qmVertex* qmMesh_GetVertexAt(qmMesh* mesh, int index) {
  return mesh == nullptr ? nullptr : At(mesh->vertices, index);
}

qmTriangle* qmMesh_GetTriangleAt(qmMesh* mesh, int index) {
  return mesh == nullptr ? nullptr : At(mesh->triangles, index);
}

void qmMesh_SetVertexNormalAt(qmMesh* mesh, int index, const float* xyz) {
  Normal* normal = mesh == nullptr ? nullptr : At(mesh->normals, index);
  if (normal != nullptr && xyz != nullptr) std::memcpy(normal->xyz, xyz, sizeof normal->xyz);
}

void qmVertex_SetVertex(qmVertex* vertex, const float* xyz) {
  if (vertex != nullptr && xyz != nullptr) std::memcpy(vertex->position, xyz, sizeof vertex->position);
}

void qmVertex_SetTexCoords(qmVertex* vertex, const float* uv) {
  if (vertex != nullptr && uv != nullptr) std::memcpy(vertex->texCoords, uv, sizeof vertex->texCoords);
}

void qmVertex_SetBoneIndex(qmVertex* vertex, int boneIndex) {
  if (vertex != nullptr) vertex->boneIndex = boneIndex;
}

void qmTriangle_SetVertexIndices(qmTriangle* triangle, const uint16_t* indices) {
  if (triangle != nullptr && indices != nullptr)
    std::memcpy(triangle->vertexIndices, indices, sizeof triangle->vertexIndices);
}

void qmTriangle_SetNormalIndices(qmTriangle* triangle, const uint16_t* indices) {
  if (triangle != nullptr && indices != nullptr)
    std::memcpy(triangle->normalIndices, indices, sizeof triangle->normalIndices);
}

// Read-back side.

qmModel* qmModel_Create(void) { return new qmModel(); }
void qmModel_Free(qmModel* model) { delete model; }

int qmModel_GetTotalFrames(const qmModel* model) { return model->totalFrames; }
int qmModel_GetMeshCount(const qmModel* model) { return static_cast<int>(model->meshes.size()); }
int qmModel_GetMaterialCount(const qmModel* model) {
  return static_cast<int>(model->materials.size());
}

const char* qmMesh_GetName(const qmMesh* mesh) { return mesh->name.c_str(); }
int qmMesh_GetMaterialIndex(const qmMesh* mesh) { return mesh->materialIndex; }
int qmMesh_GetVertexCount(const qmMesh* mesh) { return static_cast<int>(mesh->vertices.size()); }
int qmMesh_GetNormalCount(const qmMesh* mesh) { return static_cast<int>(mesh->normals.size()); }
int qmMesh_GetTriangleCount(const qmMesh* mesh) {
  return static_cast<int>(mesh->triangles.size());
}
const float* qmMesh_GetNormalAt(const qmMesh* mesh, int index) {
  if (index < 0 || static_cast<size_t>(index) >= mesh->normals.size()) return nullptr;
  return mesh->normals[static_cast<size_t>(index)].xyz;
}

const float* qmVertex_GetPosition(const qmVertex* vertex) { return vertex->position; }
const float* qmVertex_GetTexCoords(const qmVertex* vertex) { return vertex->texCoords; }
int qmVertex_GetBoneIndex(const qmVertex* vertex) { return vertex->boneIndex; }

const uint16_t* qmTriangle_GetVertexIndices(const qmTriangle* triangle) {
  return triangle->vertexIndices;
}
const uint16_t* qmTriangle_GetNormalIndices(const qmTriangle* triangle) {
  return triangle->normalIndices;
}

const char* qmMaterial_GetName(const qmMaterial* material) { return material->name.c_str(); }
const float* qmMaterial_GetAmbient(const qmMaterial* material) { return material->ambient; }
const float* qmMaterial_GetDiffuse(const qmMaterial* material) { return material->diffuse; }
const float* qmMaterial_GetSpecular(const qmMaterial* material) { return material->specular; }
const float* qmMaterial_GetEmissive(const qmMaterial* material) { return material->emissive; }
float qmMaterial_GetShininess(const qmMaterial* material) { return material->shininess; }
float qmMaterial_GetTransparency(const qmMaterial* material) { return material->transparency; }

}  // extern "C"
