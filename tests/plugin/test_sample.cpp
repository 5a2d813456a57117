// The shipped sample is exactly what its generator writes, and holds what it
// is there to show.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "SampleFile.h"
#include "SampleTextures.h"
#include "TestSupport.h"

namespace {

TEST(Sample, ShippedFileIsWhatTheGeneratorWrites) {
  std::ifstream in(std::string(QM_SOURCE_DIR) + "/samples/sample.msh", std::ios::binary);
  const std::vector<std::uint8_t> shipped((std::istreambuf_iterator<char>(in)),
                                          std::istreambuf_iterator<char>());
  EXPECT_TRUE(shipped == WriteMsh(SampleFile()))
      << "regenerate it: build/make_sample samples/sample.msh";
}

TEST(Sample, ShippedTexturesAreWhatTheGeneratorDraws) {
  for (const SampleTexture& texture : SampleTextures()) {
    SCOPED_TRACE(texture.name);
    std::ifstream in(std::string(QM_SOURCE_DIR) + "/samples/" + texture.name, std::ios::binary);
    const std::vector<std::uint8_t> shipped((std::istreambuf_iterator<char>(in)),
                                            std::istreambuf_iterator<char>());
    EXPECT_TRUE(shipped == texture.bytes) << "regenerate them: build/make_sample samples/sample.msh";
  }
}

TEST(Sample, HasGroupsLevelsSharedMaterialsAndEveryMarkerFamily) {
  Imported imported = Import(SampleFile());
  ASSERT_TRUE(imported.report.Ok());
  qmModel* model = imported.model.get();
  EXPECT_NE(qmModel_FindMeshByName(model, "L01LD01#red 250.00#"), -1);
  EXPECT_NE(qmModel_FindMaterialByName(model, "glass.tga@boo"), -1);
  int sharingHull = 0;
  for (int m = 0; m < qmModel_GetMeshCount(model); ++m)
    sharingHull += qmMesh_GetMaterialIndex(qmModel_GetMeshAt(model, m)) ==
                   qmModel_FindMaterialByName(model, "hull.tga");
  EXPECT_GT(sharingHull, 2);
  for (const char* prefix : {"blink", "center", "fire", "dock", "breach", "angle", "booster", "slot"}) {
    bool found = false;
    for (const std::string& name : MeshNames(model))
      found = found || name.rfind(std::string("#") + prefix, 0) == 0;
    EXPECT_TRUE(found) << prefix;
  }
}

}  // namespace
