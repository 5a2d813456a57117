// The stand-in host model library: what the plug-in relies on, and the
// defaults and copies that qmhost's saves show.
#include <gtest/gtest.h>

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

}  // namespace
