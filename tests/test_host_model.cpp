// The stand-in host model library: what the plug-in relies on, and the
// defaults and copies that qmhost's saves show.
#include <gtest/gtest.h>

#include <string>

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

}  // namespace
