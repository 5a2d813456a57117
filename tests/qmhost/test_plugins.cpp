// `qmhost plugins`: the modules of a folder with their kind and title, and
// the reason for each file ending ".so" that is no plug-in.
#include "ToolsSupport.h"

namespace {

class Plugins : public ToolsTest {};

TEST_F(Plugins, ListsEachModuleWithItsTitleOrWhyItIsNone) {
  const std::string built = std::string(QM_BINARY_DIR) + "/";
  ASSERT_EQ(std::system(("ln -s " + built + "qmMSH2030Vimporter.so " + Path("mesh.so")).c_str()), 0);
  ASSERT_EQ(std::system(("ln -s " + built + "libqmModelLib.so " + Path("lib.so")).c_str()), 0);
  ASSERT_EQ(std::system(("echo junk > " + Path("broken.so")).c_str()), 0);
  ASSERT_EQ(std::system(("echo text > " + Path("notes.txt")).c_str()), 0);

  const Outcome run = Qmhost("plugins .");
  EXPECT_EQ(run.status, 0) << run.err;
  const std::vector<std::string> lines = {"broken.so: not loaded: cannot load the plug-in module "
                                          "./broken.so: ./broken.so: file too short",
                                          "lib.so: not loaded: ./lib.so is no plug-in module: it "
                                          "does not export CreatePlugIn",
                                          "mesh.so: import plug-in \"Velun 2030V Mesh...\""};
  std::string expected;
  for (const std::string& line : lines) expected += line + "\n";
  EXPECT_EQ(run.out, expected);

  // Beside qmhost by default.
  const Outcome beside = Qmhost("plugins");
  EXPECT_EQ(beside.status, 0);
  EXPECT_NE(beside.out.find("qmMSH2030Vimporter.so: import plug-in \"Velun 2030V Mesh...\"\n"),
            std::string::npos)
      << beside.out;
}

TEST_F(Plugins, FailsWithoutAPlugIn) {
  const Outcome empty = Qmhost("plugins .");
  EXPECT_EQ(empty.status, 1);
  EXPECT_EQ(empty.out, "no plug-in modules in .\n");
  const Outcome missing = Qmhost("plugins nowhere");
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "qmhost: cannot list nowhere: No such file or directory\n");
  EXPECT_EQ(Qmhost("plugins --help").status, 0);
}

}  // namespace
