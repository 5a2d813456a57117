// The stand-in host model library: what the plug-in relies on, and the
// defaults and copies that qmhost's saves show.
#include <gtest/gtest.h>

#include <algorithm>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace {

TEST(HostModel, AddCountsUpWithinItsModelOrMesh) {
  qmModelPtr model = NewModel();
  EXPECT_EQ(qmModel_AddMesh(model.get()), 0);
  EXPECT_EQ(qmModel_AddMesh(model.get()), 1);
  EXPECT_EQ(qmModel_AddMaterial(model.get()), 0);
  qmMesh* mesh = qmModel_GetMeshAt(model.get(), 1);
  for (int n = 0; n < 3; ++n) {
    EXPECT_EQ(qmMesh_AddVertex(mesh), n);
    EXPECT_EQ(qmMesh_AddVertexNormal(mesh), n);
    EXPECT_EQ(qmMesh_AddTriangle(mesh), n);
  }
  EXPECT_EQ(qmMesh_AddVertex(qmModel_GetMeshAt(model.get(), 0)), 0);
  EXPECT_EQ(qmModel_GetMeshAt(model.get(), 2), nullptr);
  EXPECT_EQ(qmMesh_GetVertexAt(mesh, -1), nullptr);
}

TEST(HostModel, NewObjectsHaveTheirDefaults) {
  qmModelPtr model = NewModel();
  qmMesh* mesh = qmModel_GetMeshAt(model.get(), qmModel_AddMesh(model.get()));
  EXPECT_EQ(qmMesh_GetMaterialIndex(mesh), -1);
  const qmVertex* vertex = qmMesh_GetVertexAt(mesh, qmMesh_AddVertex(mesh));
  EXPECT_EQ(qmVertex_GetTexCoords(vertex)[0], 0.0f);
  EXPECT_EQ(qmVertex_GetTexCoords(vertex)[1], 0.0f);
  EXPECT_EQ(qmVertex_GetBoneIndex(vertex), -1);
  const qmTriangle* triangle = qmMesh_GetTriangleAt(mesh, qmMesh_AddTriangle(mesh));
  for (int c = 0; c < 3; ++c) EXPECT_EQ(qmTriangle_GetNormalIndices(triangle)[c], 0);
}

TEST(HostModel, FindsByNameAndFollowsRenames) {
  qmModelPtr model = NewModel();
  qmModel* m = model.get();
  EXPECT_EQ(qmModel_FindMeshByName(m, "a"), -1);
  for (int n = 0; n < 3; ++n) qmModel_AddMesh(m);
  qmMesh_SetName(qmModel_GetMeshAt(m, 2), "a");
  qmMesh_SetName(qmModel_GetMeshAt(m, 1), "a");
  EXPECT_EQ(qmModel_FindMeshByName(m, "a"), 1);  // the first of that name
  qmMesh_SetName(qmModel_GetMeshAt(m, 1), "b");
  EXPECT_EQ(qmModel_FindMeshByName(m, "a"), 2);
  EXPECT_EQ(qmModel_FindMeshByName(m, "b"), 1);
  qmMesh* named = qmModel_GetMeshAt(m, 1);
  qmMesh_SetName(named, qmMesh_GetName(named));  // its own name, as the host hands it out
  EXPECT_EQ(qmModel_FindMeshByName(m, "b"), 1);
  qmMaterial_SetName(qmModel_GetMaterialAt(m, qmModel_AddMaterial(m)), "b");
  EXPECT_EQ(qmModel_FindMaterialByName(m, "b"), 0);
  EXPECT_EQ(qmModel_FindMaterialByName(m, "a"), -1);
}

TEST(HostModel, CopiesWhatItIsGivenAndCutsNames) {
  qmModelPtr model = NewModel();
  qmMaterial* material = qmModel_GetMaterialAt(model.get(), qmModel_AddMaterial(model.get()));
  std::string name(40, 'n');
  float colour[4] = {1, 2, 3, 4};
  qmMaterial_SetName(material, name.c_str());
  qmMaterial_SetDiffuse(material, colour);
  name.assign(40, 'x');
  colour[0] = 9;
  EXPECT_EQ(std::string(qmMaterial_GetName(material)), std::string(31, 'n'));
  EXPECT_EQ(qmMaterial_GetDiffuse(material)[0], 1.0f);
  // Found by the name it was cut to, as the host's 32-byte names behave.
  EXPECT_EQ(qmModel_FindMaterialByName(model.get(), std::string(35, 'n').c_str()), 0);
}

TEST(HostModel, DestroyEmptiesAndKeepsTheHandle) {
  qmModelPtr model = NewModel();
  qmModel_SetTotalFrames(model.get(), 3);
  qmMesh_SetName(qmModel_GetMeshAt(model.get(), qmModel_AddMesh(model.get())), "a");
  qmModel_Destroy(model.get());
  EXPECT_EQ(qmModel_GetMeshCount(model.get()), 0);
  EXPECT_EQ(qmModel_GetTotalFrames(model.get()), 0);
  EXPECT_EQ(qmModel_FindMeshByName(model.get(), "a"), -1);
  EXPECT_EQ(qmModel_AddMesh(model.get()), 0);
}

// Handles taken while a list grows stay valid, and every element is found by
// its index again, in the small first chunks and in the full ones after them.
TEST(HostModel, ElementsStayPutAndAreFoundAgainAcrossChunks) {
  qmModelPtr model = NewModel();
  for (int round = 0; round < 2; ++round) {  // the second after emptying the model
    qmModel_Destroy(model.get());
    qmMesh* mesh = qmModel_GetMeshAt(model.get(), qmModel_AddMesh(model.get()));
    constexpr int kCount = 2000;
    std::vector<qmVertex*> vertices;
    std::vector<qmTriangle*> triangles;
    for (int n = 0; n < kCount; ++n) {
      ASSERT_EQ(qmMesh_AddVertex(mesh), n);
      ASSERT_EQ(qmMesh_AddVertexNormal(mesh), n);
      ASSERT_EQ(qmMesh_AddTriangle(mesh), n);
      vertices.push_back(qmMesh_GetVertexAt(mesh, n));
      triangles.push_back(qmMesh_GetTriangleAt(mesh, n));
      const float xyz[3] = {static_cast<float>(n), 0, static_cast<float>(round)};
      const std::uint16_t corners[3] = {static_cast<std::uint16_t>(n), 1, 2};
      qmVertex_SetVertex(vertices.back(), xyz);
      qmMesh_SetVertexNormalAt(mesh, n, xyz);
      qmTriangle_SetVertexIndices(triangles.back(), corners);
    }
    for (int n = 0; n < kCount; ++n) {
      ASSERT_EQ(qmMesh_GetVertexAt(mesh, n), vertices[static_cast<size_t>(n)]) << n;
      ASSERT_EQ(qmMesh_GetTriangleAt(mesh, n), triangles[static_cast<size_t>(n)]) << n;
      ASSERT_EQ(qmVertex_GetPosition(vertices[static_cast<size_t>(n)])[0], static_cast<float>(n));
      ASSERT_EQ(qmMesh_GetNormalAt(mesh, n)[0], static_cast<float>(n));
      ASSERT_EQ(qmTriangle_GetVertexIndices(triangles[static_cast<size_t>(n)])[0], n);
      ASSERT_EQ(qmVertex_GetBoneIndex(vertices[static_cast<size_t>(n)]), -1);
    }
    for (int index : {kCount, kCount + 1, -1, -2, 1 << 30}) {
      EXPECT_EQ(qmMesh_GetVertexAt(mesh, index), nullptr);
      EXPECT_EQ(qmMesh_GetTriangleAt(mesh, index), nullptr);
      EXPECT_EQ(qmMesh_GetNormalAt(mesh, index), nullptr);
    }
  }
}

// The copies that read many elements at once give what the getters give,
// for ranges that start and end anywhere in the growing and the full chunks,
// and stop at the list's end.
TEST(HostModel, CopiesOfManyElementsAgreeWithTheGetters) {
  qmModelPtr model = NewModel();
  qmMesh* mesh = qmModel_GetMeshAt(model.get(), qmModel_AddMesh(model.get()));
  constexpr int kCount = 1500;  // the growing chunks end at 1020
  for (int n = 0; n < kCount; ++n) {
    const float xyz[3] = {static_cast<float>(n), 1.5f, -static_cast<float>(n)};
    const float uv[2] = {0.25f, static_cast<float>(n)};
    qmVertex* vertex = qmMesh_GetVertexAt(mesh, qmMesh_AddVertex(mesh));
    qmVertex_SetVertex(vertex, xyz);
    qmVertex_SetTexCoords(vertex, uv);
    qmMesh_SetVertexNormalAt(mesh, qmMesh_AddVertexNormal(mesh), xyz);
    qmTriangle* triangle = qmMesh_GetTriangleAt(mesh, qmMesh_AddTriangle(mesh));
    const std::uint16_t corners[3] = {static_cast<std::uint16_t>(n), 1, 2};
    const std::uint16_t normals[3] = {3, 4, static_cast<std::uint16_t>(n)};
    qmTriangle_SetVertexIndices(triangle, corners);
    qmTriangle_SetNormalIndices(triangle, normals);
  }
  const int ranges[][2] = {{0, 1}, {0, kCount}, {3, 10}, {1019, 2}, {700, 600}, {1400, 500},
                           {kCount - 1, 5}, {kCount, 3}, {-1, 3}, {5, 0}};
  for (const auto& range : ranges) {
    SCOPED_TRACE(std::to_string(range[0]) + "+" + std::to_string(range[1]));
    const int first = range[0];
    const int expected = first < 0 || first >= kCount ? 0 : std::min(range[1], kCount - first);
    std::vector<std::uint16_t> indices(6 * static_cast<size_t>(std::max(range[1], 0)));
    std::vector<float> positions(3 * indices.size() / 6), uvs(2 * indices.size() / 6),
        normals(3 * indices.size() / 6);
    ASSERT_EQ(qmMesh_CopyTriangles(mesh, first, range[1], indices.data()), expected);
    ASSERT_EQ(qmMesh_CopyVertices(mesh, first, range[1], positions.data(), uvs.data()), expected);
    ASSERT_EQ(qmMesh_CopyVertices(mesh, first, range[1], nullptr, uvs.data()), expected);
    ASSERT_EQ(qmMesh_CopyNormals(mesh, first, range[1], normals.data()), expected);
    for (int n = 0; n < expected; ++n) {
      const size_t k = static_cast<size_t>(n);
      qmTriangle* triangle = qmMesh_GetTriangleAt(mesh, first + n);
      qmVertex* vertex = qmMesh_GetVertexAt(mesh, first + n);
      for (int c = 0; c < 3; ++c) {
        ASSERT_EQ(indices[6 * k + c], qmTriangle_GetVertexIndices(triangle)[c]);
        ASSERT_EQ(indices[6 * k + 3 + c], qmTriangle_GetNormalIndices(triangle)[c]);
        ASSERT_EQ(positions[3 * k + c], qmVertex_GetPosition(vertex)[c]);
        ASSERT_EQ(normals[3 * k + c], qmMesh_GetNormalAt(mesh, first + n)[c]);
      }
      ASSERT_EQ(uvs[2 * k + 1], qmVertex_GetTexCoords(vertex)[1]);
    }
  }
}

// Finding by name against a plain scan for the lowest index, through random
// adds, renames (names given up and taken again, so entries leave the index
// and others move up) and emptyings.
TEST(HostModel, FindAgreesWithAScanThroughRenames) {
  std::vector<std::string> names;
  for (int n = 0; n < 60; ++n) names.push_back("name" + std::to_string(n));
  names.push_back("");
  names.push_back(std::string(40, 'x'));  // cut to 31, the same as the next
  names.push_back(std::string(31, 'x'));
  std::mt19937 random(12345);
  auto pick = [&](size_t count) { return static_cast<int>(random() % count); };

  qmModelPtr model = NewModel();
  qmModel* m = model.get();
  for (int step = 0; step < 20000; ++step) {
    const int count = qmModel_GetMeshCount(m);
    const int action = pick(100);
    if (action == 0 && step % 5000 == 0) {
      qmModel_Destroy(m);
    } else if (count < 250 && (count == 0 || action < 20)) {
      qmModel_AddMesh(m);
    } else {
      qmMesh_SetName(qmModel_GetMeshAt(m, pick(static_cast<size_t>(count))),
                     names[static_cast<size_t>(pick(names.size()))].c_str());
    }
    if (step % 7 != 0) continue;
    for (const std::string& name : names) {
      const std::string cut = name.substr(0, 31);
      int first = -1;
      for (int n = 0; n < qmModel_GetMeshCount(m) && first == -1; ++n)
        if (qmMesh_GetName(qmModel_GetMeshAt(m, n)) == cut) first = n;
      ASSERT_EQ(qmModel_FindMeshByName(m, name.c_str()), first) << "step " << step << ", '" << cut << "'";
    }
  }
}

// What a build added before memory ran out, counted by the calls that
// returned.
struct Built {
  int meshes = 0, materials = 0, vertices = 0, normals = 0, triangles = 0;
  bool refused = false;
};

// Meshes and materials, named, each mesh with 1,000 vertices, normals and
// triangles; stops at the first std::bad_alloc.
Built Build(qmModel* m, int meshes) {
  Built built;
  try {
    for (int k = 0; k < meshes; ++k) {
      const std::string name = "part" + std::to_string(k);
      qmMaterial_SetName(qmModel_GetMaterialAt(m, qmModel_AddMaterial(m)), name.c_str());
      ++built.materials;
      qmMesh* mesh = qmModel_GetMeshAt(m, qmModel_AddMesh(m));
      ++built.meshes;
      qmMesh_SetName(mesh, name.c_str());
      for (int n = 0; n < 1000; ++n) {
        qmMesh_AddVertex(mesh);
        ++built.vertices;
        qmMesh_AddVertexNormal(mesh);
        ++built.normals;
        qmMesh_AddTriangle(mesh);
        ++built.triangles;
      }
    }
  } catch (const std::bad_alloc&) {
    built.refused = true;
  }
  return built;
}

// The model holds exactly what the calls that returned added, each element
// in place.
void ExpectHolds(qmModel* m, const Built& built) {
  ASSERT_EQ(qmModel_GetMeshCount(m), built.meshes);
  EXPECT_EQ(qmModel_GetMaterialCount(m), built.materials);
  int vertices = 0, normals = 0, triangles = 0;
  for (int k = 0; k < built.meshes; ++k) {
    qmMesh* mesh = qmModel_GetMeshAt(m, k);
    vertices += qmMesh_GetVertexCount(mesh);
    normals += qmMesh_GetNormalCount(mesh);
    triangles += qmMesh_GetTriangleCount(mesh);
    if (qmMesh_GetVertexCount(mesh) > 0) {
      EXPECT_NE(qmMesh_GetVertexAt(mesh, qmMesh_GetVertexCount(mesh) - 1), nullptr);
    }
    if (qmMesh_GetTriangleCount(mesh) > 0) {
      EXPECT_NE(qmMesh_GetTriangleAt(mesh, qmMesh_GetTriangleCount(mesh) - 1), nullptr);
    }
  }
  EXPECT_EQ(vertices, built.vertices);
  EXPECT_EQ(normals, built.normals);
  EXPECT_EQ(triangles, built.triangles);
}

// A model may hold as much as its limit and no byte more: at the limit a
// build is as without one; one byte below, the call that needs the last
// block throws std::bad_alloc and the model keeps what the earlier calls
// added. It refuses again, never crashes, and after emptying takes memory
// anew.
TEST(HostModel, MemoryLimitRefusesPastItAndTheModelKeepsWhatWasBuilt) {
  qmModelPtr free = NewModel();
  const Built whole = Build(free.get(), 20);
  ASSERT_FALSE(whole.refused);
  const std::uint64_t held = qmModel_GetMemoryHeld(free.get());
  EXPECT_GT(held, 20u * 1000 * (24 + 12 + 12));
  EXPECT_EQ(qmModel_GetMemoryLimitReached(free.get()), 0);

  qmModelPtr exact = NewModel();
  qmModel_SetMemoryLimit(exact.get(), held);
  const Built atLimit = Build(exact.get(), 20);
  EXPECT_FALSE(atLimit.refused);
  ExpectHolds(exact.get(), whole);
  EXPECT_EQ(qmModel_GetMemoryHeld(exact.get()), held);

  for (const std::uint64_t limit : {held - 1, held / 3, std::uint64_t{100}, std::uint64_t{1}}) {
    qmModelPtr model = NewModel();
    qmModel* m = model.get();
    qmModel_SetMemoryLimit(m, limit);
    const Built cut = Build(m, 20);
    ASSERT_TRUE(cut.refused) << limit;
    ExpectHolds(m, cut);
    EXPECT_EQ(qmModel_GetMemoryLimitReached(m), 1);
    EXPECT_LE(qmModel_GetMemoryHeld(m), limit);
    const Built again = Build(m, 20);
    EXPECT_TRUE(again.refused);
    EXPECT_LE(qmModel_GetMemoryHeld(m), limit);

    qmModel_Destroy(m);
    EXPECT_EQ(qmModel_GetMemoryLimitReached(m), 0);
    EXPECT_EQ(qmModel_GetMeshCount(m), 0);
    qmModel_SetMemoryLimit(m, 0);  // none
    ExpectHolds(m, Build(m, 20));
  }
}

}  // namespace
