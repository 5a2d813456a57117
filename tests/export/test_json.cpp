// qmhost's JSON model: every float reads back bit for bit, the values JSON
// has no number for are strings, and names keep every byte.
#include <gtest/gtest.h>

#include <cstring>

#include <nlohmann/json.hpp>

#include "HostModel.h"
#include "ModelJson.h"

namespace {

std::uint32_t Bits(float value) {
  std::uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

float FromBits(std::uint32_t bits) {
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

TEST(ModelJson, FloatsReadBackBitForBitAndNonFiniteValuesAreStrings) {
  qmModelPtr model = NewModel();
  qmModel* m = model.get();
  qmMaterial* material = qmModel_GetMaterialAt(m, qmModel_AddMaterial(m));
  const float colour[4] = {-0.0f, 0.1f, FromBits(1), 3.0f};
  qmMaterial_SetDiffuse(material, colour);
  const float odd[4] = {FromBits(0x7FC00000), FromBits(0x7F800000), FromBits(0xFF800000),
                        3.4028235e38f};
  qmMaterial_SetAmbient(material, odd);
  qmMaterial_SetName(material, "caf\xE9");

  const std::string text = ModelJson(m);
  EXPECT_NE(text.find("\"ambient\":[\"nan\",\"inf\",\"-inf\",3.4028235e+38]"), std::string::npos)
      << text;
  EXPECT_NE(text.find("\"diffuse\":[-0.0,0.1,1e-45,3.0]"), std::string::npos) << text;
  EXPECT_NE(text.find("\"name\":\"caf\xC3\xA9\""), std::string::npos);
  const nlohmann::json parsed = nlohmann::json::parse(text);
  for (int c = 0; c < 4; ++c) {
    const float back = parsed["materials"][0]["diffuse"][c].get<float>();
    EXPECT_EQ(Bits(back), Bits(colour[c]));
  }
}

}  // namespace
