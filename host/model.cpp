// In-memory stand-in for the host's model library.
//
// Meshes and materials live behind stable pointers (the handles); vertices,
// normals and triangles live in chunked lists so that a handle taken with
// GetAt stays valid while more are appended. The objects and the small pieces
// of their lists come from the model's arena, and everything goes when the
// model is emptied. Look-ups by name go through a hash index, so an
// import that finds a material per mesh does not scan the whole model. All
// the memory a model takes counts against its limit (MemoryBudget.h), block
// by block: past the limit the call that needs a block throws
// std::bad_alloc, as on a machine out of memory.
//
// The functions the import calls once per vertex or triangle are written so
// that their common path falls straight through without a stack frame: a
// large file makes some 15 million such calls.

#include "qmModelLib.h"
#include "qmModelRead.h"

#include <climits>
#include <cstddef>
#include <cstring>
#include <new>
#include <type_traits>
#include <vector>

#include "ChunkedList.h"
#include "ModelArena.h"
#include "NameIndex.h"

namespace {

struct Normal {
  float xyz[3];
};

// What meshes and materials share: the name as the host keeps it (a 32-byte
// buffer), and the links of the name index.
struct Named {
  char name[NameKey::kMax + 1] = {};
  int nextSame = -1;
  int prevSame = -1;
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

struct qmMaterial : Named {
  qmModel* owner = nullptr;
  int index = 0;
  float ambient[4] = {0, 0, 0, 0};
  float diffuse[4] = {0, 0, 0, 0};
  float specular[4] = {0, 0, 0, 0};
  float emissive[4] = {0, 0, 0, 0};
  float shininess = 0;
  float transparency = 0;
};

struct qmMesh : Named {
  qmModel* owner = nullptr;
  int index = 0;
  int materialIndex = -1;
  ChunkedList<qmVertex> vertices;
  ChunkedList<Normal> normals;
  ChunkedList<qmTriangle> triangles;
};

// Meshes and materials sit in the arena and are never destroyed one by one.
static_assert(std::is_trivially_destructible<qmMesh>::value, "");
static_assert(std::is_trivially_destructible<qmMaterial>::value, "");
static_assert(sizeof(qmMesh) <= ModelArena::kLargestPiece, "");
static_assert(sizeof(qmMaterial) <= ModelArena::kLargestPiece, "");

struct qmModel {
  int totalFrames = 0;
  // First: everything below takes its memory through the arena's budget.
  ModelArena arena;
  ObjectList<qmMesh> meshes{BudgetAllocator<qmMesh*>(arena.Budget())};
  ObjectList<qmMaterial> materials{BudgetAllocator<qmMaterial*>(arena.Budget())};
  NameIndex<qmMesh> meshNames{meshes, arena.Budget()};
  NameIndex<qmMaterial> materialNames{materials, arena.Budget()};

  qmModel() = default;
  qmModel(const qmModel&) = delete;
  qmModel& operator=(const qmModel&) = delete;
  ~qmModel() { Empty(); }

  void Empty() {
    meshNames.Clear();
    materialNames.Clear();
    meshes.clear();
    meshes.shrink_to_fit();
    materials.clear();
    materials.shrink_to_fit();
    arena.Clear();
    arena.Budget().ForgetRefusal();
  }
};

namespace {

// A new object of the model, entered under the empty name; every step that
// can fail comes before the model changes.
template <typename Object>
int AddObject(qmModel* model, ObjectList<Object>& list, NameIndex<Object>& names) {
  if (list.size() >= static_cast<std::size_t>(INT_MAX)) return -1;
  names.Reserve();
  if (list.size() == list.capacity()) list.reserve(list.empty() ? 16 : 2 * list.size());
  Object* object = new (model->arena.Allocate(sizeof(Object))) Object();
  object->owner = model;
  object->index = static_cast<int>(list.size());
  list.push_back(object);
  names.Add(names.Key(""), object->index);
  return object->index;
}

template <typename Object>
Object* ObjectAt(ObjectList<Object>& list, int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= list.size()) return nullptr;
  return list[static_cast<std::size_t>(index)];
}

template <typename Object>
void Rename(Object* object, NameIndex<Object>& names, const char* name) {
  const NameKey key = names.Key(name);
  // Named again as it is named already, as an import does with each material
  // it finds by name: nothing to change.
  if (key.Names(object->name)) return;
  names.Reserve();
  names.Remove(names.Key(object->name), object->index);
  std::memmove(object->name, key.text, key.length);  // the name may be its own
  object->name[key.length] = '\0';
  names.Add(key, object->index);
}

void Copy4(float* to, const float* from) {
  if (from != nullptr) std::memcpy(to, from, 4 * sizeof(float));
}

// The count of elements from `first` that a copy of `count` takes from a list
// of `size`.
std::size_t CopyCount(std::size_t size, int first, int count) {
  if (first < 0 || count <= 0 || static_cast<std::size_t>(first) >= size) return 0;
  const std::size_t left = size - static_cast<std::size_t>(first);
  return static_cast<std::size_t>(count) < left ? static_cast<std::size_t>(count) : left;
}

// Copies the elements of `list` from `first` (as many of `count` as it holds)
// into `out`, each as the values of type Out it is made of; returns how many.
template <typename List, typename Out>
int CopyElements(const List& list, int first, int count, Out* out) {
  const std::size_t copied = CopyCount(list.size(), first, count);
  list.ForEachRun(static_cast<std::size_t>(first), copied,
                  [&](const auto* run, std::size_t length) {
                    std::memcpy(out, run, length * sizeof *run);
                    out += length * (sizeof *run / sizeof *out);
                  });
  return static_cast<int>(copied);
}

}  // namespace

extern "C" {

void qmModel_Destroy(qmModel* model) {
  if (model == nullptr) return;
  model->totalFrames = 0;
  model->Empty();
}

void qmModel_SetTotalFrames(qmModel* model, int totalFrames) {
  if (model != nullptr) model->totalFrames = totalFrames;
}

int qmModel_AddMesh(qmModel* model) {
  return model == nullptr ? -1 : AddObject(model, model->meshes, model->meshNames);
}

int qmModel_AddMaterial(qmModel* model) {
  return model == nullptr ? -1 : AddObject(model, model->materials, model->materialNames);
}

qmMesh* qmModel_GetMeshAt(qmModel* model, int index) {
  return model == nullptr ? nullptr : ObjectAt(model->meshes, index);
}

qmMaterial* qmModel_GetMaterialAt(qmModel* model, int index) {
  return model == nullptr ? nullptr : ObjectAt(model->materials, index);
}

int qmModel_FindMeshByName(qmModel* model, const char* name) {
  return model == nullptr ? -1 : model->meshNames.Find(model->meshNames.Key(name));
}

int qmModel_FindMaterialByName(qmModel* model, const char* name) {
  return model == nullptr ? -1 : model->materialNames.Find(model->materialNames.Key(name));
}

void qmMesh_SetName(qmMesh* mesh, const char* name) {
  if (mesh != nullptr) Rename(mesh, mesh->owner->meshNames, name);
}

void qmMaterial_SetName(qmMaterial* material, const char* name) {
  if (material != nullptr) Rename(material, material->owner->materialNames, name);
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

// The per-vertex and per-triangle calls.

int qmMesh_AddVertex(qmMesh* mesh) {
  if (QM_UNLIKELY(mesh == nullptr)) return -1;
  return mesh->vertices.Append(mesh->owner->arena);
}
int qmMesh_AddVertexNormal(qmMesh* mesh) {
  if (QM_UNLIKELY(mesh == nullptr)) return -1;
  return mesh->normals.Append(mesh->owner->arena);
}
int qmMesh_AddTriangle(qmMesh* mesh) {
  if (QM_UNLIKELY(mesh == nullptr)) return -1;
  return mesh->triangles.Append(mesh->owner->arena);
}

qmVertex* qmMesh_GetVertexAt(qmMesh* mesh, int index) {
  if (QM_UNLIKELY(mesh == nullptr)) return nullptr;
  return mesh->vertices.Find(index);
}

qmTriangle* qmMesh_GetTriangleAt(qmMesh* mesh, int index) {
  if (QM_UNLIKELY(mesh == nullptr)) return nullptr;
  return mesh->triangles.Find(index);
}

void qmMesh_SetVertexNormalAt(qmMesh* mesh, int index, const float* xyz) {
  Normal* normal = QM_LIKELY(mesh != nullptr) ? mesh->normals.Find(index) : nullptr;
  if (QM_LIKELY(normal != nullptr && xyz != nullptr)) std::memcpy(normal->xyz, xyz, sizeof normal->xyz);
}

void qmVertex_SetVertex(qmVertex* vertex, const float* xyz) {
  if (QM_LIKELY(vertex != nullptr && xyz != nullptr))
    std::memcpy(vertex->position, xyz, sizeof vertex->position);
}

void qmVertex_SetTexCoords(qmVertex* vertex, const float* uv) {
  if (QM_LIKELY(vertex != nullptr && uv != nullptr))
    std::memcpy(vertex->texCoords, uv, sizeof vertex->texCoords);
}

void qmVertex_SetBoneIndex(qmVertex* vertex, int boneIndex) {
  if (QM_LIKELY(vertex != nullptr)) vertex->boneIndex = boneIndex;
}

void qmTriangle_SetVertexIndices(qmTriangle* triangle, const uint16_t* indices) {
  if (QM_LIKELY(triangle != nullptr && indices != nullptr))
    std::memcpy(triangle->vertexIndices, indices, sizeof triangle->vertexIndices);
}

void qmTriangle_SetNormalIndices(qmTriangle* triangle, const uint16_t* indices) {
  if (QM_LIKELY(triangle != nullptr && indices != nullptr))
    std::memcpy(triangle->normalIndices, indices, sizeof triangle->normalIndices);
}

// Read-back side.

qmModel* qmModel_Create(void) { return new qmModel(); }
void qmModel_Free(qmModel* model) { delete model; }

void qmModel_SetMemoryLimit(qmModel* model, uint64_t bytes) {
  model->arena.Budget().SetLimit(bytes == 0 ? MemoryBudget::kNoLimit : bytes);
}
uint64_t qmModel_GetMemoryHeld(const qmModel* model) { return model->arena.Budget().Held(); }
int qmModel_GetMemoryLimitReached(const qmModel* model) {
  return model->arena.Budget().Refused() ? 1 : 0;
}

int qmModel_GetTotalFrames(const qmModel* model) { return model->totalFrames; }
int qmModel_GetMeshCount(const qmModel* model) { return static_cast<int>(model->meshes.size()); }
int qmModel_GetMaterialCount(const qmModel* model) {
  return static_cast<int>(model->materials.size());
}

const char* qmMesh_GetName(const qmMesh* mesh) { return mesh->name; }
int qmMesh_GetMaterialIndex(const qmMesh* mesh) { return mesh->materialIndex; }
int qmMesh_GetVertexCount(const qmMesh* mesh) { return static_cast<int>(mesh->vertices.size()); }
int qmMesh_GetNormalCount(const qmMesh* mesh) { return static_cast<int>(mesh->normals.size()); }
int qmMesh_GetTriangleCount(const qmMesh* mesh) {
  return static_cast<int>(mesh->triangles.size());
}
const float* qmMesh_GetNormalAt(const qmMesh* mesh, int index) {
  const Normal* normal = mesh->normals.Find(index);
  return normal == nullptr ? nullptr : normal->xyz;
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

int qmMesh_CopyTriangles(const qmMesh* mesh, int first, int count, uint16_t* indices) {
  static_assert(sizeof(qmTriangle) == 6 * sizeof(uint16_t), "a triangle is its 6 indices");
  return CopyElements(mesh->triangles, first, count, indices);
}

int qmMesh_CopyVertices(const qmMesh* mesh, int first, int count, float* positions,
                        float* texCoords) {
  const std::size_t copied = CopyCount(mesh->vertices.size(), first, count);
  mesh->vertices.ForEachRun(static_cast<std::size_t>(first), copied,
                            [&](const qmVertex* run, std::size_t length) {
                              for (std::size_t n = 0; n < length; ++n) {
                                if (positions != nullptr) {
                                  std::memcpy(positions, run[n].position, sizeof run[n].position);
                                  positions += 3;
                                }
                                if (texCoords != nullptr) {
                                  std::memcpy(texCoords, run[n].texCoords, sizeof run[n].texCoords);
                                  texCoords += 2;
                                }
                              }
                            });
  return static_cast<int>(copied);
}

int qmMesh_CopyNormals(const qmMesh* mesh, int first, int count, float* xyz) {
  static_assert(sizeof(Normal) == 3 * sizeof(float), "a normal is its 3 floats");
  return CopyElements(mesh->normals, first, count, xyz);
}

const char* qmMaterial_GetName(const qmMaterial* material) { return material->name; }
const float* qmMaterial_GetAmbient(const qmMaterial* material) { return material->ambient; }
const float* qmMaterial_GetDiffuse(const qmMaterial* material) { return material->diffuse; }
const float* qmMaterial_GetSpecular(const qmMaterial* material) { return material->specular; }
const float* qmMaterial_GetEmissive(const qmMaterial* material) { return material->emissive; }
float qmMaterial_GetShininess(const qmMaterial* material) { return material->shininess; }
float qmMaterial_GetTransparency(const qmMaterial* material) { return material->transparency; }

}  // extern "C"
