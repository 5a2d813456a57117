// Names and paths as a terminal shows them: valid UTF-8, every control
// character escaped, the same in every command.
#include <gtest/gtest.h>

#include "QmhostRun.h"
#include "ShownText.h"
#include "TestSupport.h"

namespace {

TEST(ShownText, EscapesControlsAndKeepsEveryByteReadable) {
  const struct {
    std::string in;
    std::string name;  // ShownName: each byte its code point
    std::string path;  // ShownPath: UTF-8 kept where valid
  } cases[] = {
      {"hull.tga", "hull.tga", "hull.tga"},
      {"caf\xE9", "caf\xC3\xA9", "caf\\xE9"},                 // Latin-1 é
      {"caf\xC3\xA9", "caf\xC3\x83\xC2\xA9", "caf\xC3\xA9"},  // UTF-8 é
      {"\x1B]0;title\x07", "\\x1B]0;title\\x07", "\\x1B]0;title\\x07"},
      {"a\nb\tc\rd", "a\\nb\\tc\\rd", "a\\nb\\tc\\rd"},
      {"q\"b\\", "q\\\"b\\\\", "q\\\"b\\\\"},
      {"\x7F\x9B"
       "2J",
       "\\x7F\\x9B2J", "\\x7F\\x9B2J"},  // DEL and C1's CSI
      {"\xC2\x9B"
       "2J",
       "\xC3\x82\\x9B2J", "\\xC2\\x9B2J"},                           // CSI as UTF-8
      {"\xE0\x80\xAF", "\xC3\xA0\\x80\xC2\xAF", "\\xE0\\x80\\xAF"},  // an overlong '/'
      {"\xF0\x9F\x9A\x80", "\xC3\xB0\\x9F\\x9A\\x80", "\xF0\x9F\x9A\x80"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ShownName(c.in), c.name) << c.in;
    EXPECT_EQ(ShownPath(c.in), c.path) << c.in;
  }
  EXPECT_EQ(QuotedName("a\"b"), "\"a\\\"b\"");
  EXPECT_EQ(TerminalSafe("cannot save a\\b\"\x1B: x"), "cannot save a\\b\"\\x1B: x");
}

// A texture and a hardpoint named with ESC and "café" (Latin-1): the tree,
// check and convert show them alike, and nothing reaches the terminal raw.
class ShownNames : public TempFolderTest {};

TEST_F(ShownNames, AreTheSameInEveryCommand) {
  MshFile file;
  file.vertices = NumberedVertices(3);
  file.indices = {0, 1, 2};
  file.groups.push_back(
      GroupOf({LevelOf(0, {MeshOf("caf\xE9\x1B[2J.tga", 0, 3, 0, 1)})},
              {HardpointOf(std::string("dock\x1B]0;x\x07") + std::string(30, 'n'), 1)}));
  Write("odd\x1B.msh", WriteMsh(file));

  const Outcome tree = Qmhost("import 'odd\x1B.msh'");
  EXPECT_EQ(tree.status, 0) << tree.err;
  EXPECT_NE(tree.out.find("material 0 \"caf\xC3\xA9\\x1B[2J.tga\""), std::string::npos) << tree.out;
  EXPECT_NE(tree.out.find("#dock\\x1B]0;x\\x07nnnnnnnnnnnnnnnnnnnn: 1 vertex"), std::string::npos)
      << tree.out;
  const Outcome check = Qmhost("check 'odd\x1B.msh'");
  EXPECT_NE(check.out.find("odd\\x1B.msh: byte "), std::string::npos) << check.out;
  EXPECT_NE(check.out.find("cut to the host's 31: \"#dock\\x1B]0;x\\x07nnnnnnnnnnnnnnnnnnnn\""),
            std::string::npos)
      << check.out;
  const Outcome convert = Qmhost("convert -v 'odd\x1B.msh' --to json");
  EXPECT_NE(convert.err.find("qmhost: odd\\x1B.msh: converted to odd\\x1B.json\n"),
            std::string::npos)
      << convert.err;
  for (const Outcome* run : {&tree, &check, &convert}) {
    EXPECT_EQ((run->out + run->err).find('\x1B'), std::string::npos);
    EXPECT_EQ((run->out + run->err).find('\x07'), std::string::npos);
  }
}

}  // namespace
