// `qmhost plugins`: the plug-in modules of a folder with their kind and
// title. A library that is no plug-in is never loaded (its start-up code
// would run in qmhost); -v says why it was skipped.
#include "QmhostRun.h"

namespace {

class Plugins : public TempFolderTest {};

TEST_F(Plugins, ListsOnlyPluginModulesAndNeverLoadsTheRest) {
  const std::string built = std::string(QM_BINARY_DIR) + "/";
  ASSERT_EQ(std::system(("ln -s " + built + "qmMSH2030Vimporter.so " + Path("mesh.so")).c_str()),
            0);
  ASSERT_EQ(std::system(("ln -s " + built + "libqmModelLib.so " + Path("lib.so")).c_str()), 0);
  ASSERT_EQ(std::system(("echo junk > " + Path("broken.so")).c_str()), 0);
  ASSERT_EQ(std::system(("echo text > " + Path("notes.txt")).c_str()), 0);
  ASSERT_EQ(::mkfifo(Path("fifo.so").c_str(), 0644), 0);
  // A library whose start-up code would leave a mark, were it loaded.
  WriteText("marker.cpp",
            "#include <cstdio>\n"
            "__attribute__((constructor)) static void Mark() { std::fopen(\"loaded\", \"w\"); }\n");
  ASSERT_EQ(Shell("c++ -shared -fPIC -o marker.so marker.cpp").status, 0);

  const Outcome run = Qmhost("plugins .");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "./mesh.so: import plug-in \"Velun 2030V Mesh...\"\n");
  EXPECT_EQ(run.err, "");
  EXPECT_FALSE(Exists(Path("loaded")));

  const Outcome verbose = Qmhost("plugins -v .");
  EXPECT_EQ(verbose.err,
            "qmhost: ./broken.so: skipped: it is no ELF file\n"
            "qmhost: ./fifo.so: skipped: it is a FIFO, not a regular file\n"
            "qmhost: ./lib.so: skipped: it does not export CreatePlugIn\n"
            "qmhost: ./marker.so: skipped: it does not export CreatePlugIn\n");
  EXPECT_FALSE(Exists(Path("loaded")));

  // Beside qmhost by default.
  const Outcome beside = Qmhost("plugins");
  EXPECT_EQ(beside.status, 0);
  EXPECT_EQ(beside.out, built + "qmMSH2030Vimporter.so: import plug-in \"Velun 2030V Mesh...\"\n");
}

TEST_F(Plugins, FailsWithoutAPlugIn) {
  const Outcome empty = Qmhost("plugins .");
  EXPECT_EQ(empty.status, 1);
  EXPECT_EQ(empty.out, "");
  EXPECT_EQ(empty.err, "qmhost: no plug-in modules in .\n");
  const Outcome missing = Qmhost("plugins nowhere");
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "qmhost: nowhere: cannot list the folder: No such file or directory\n");
  EXPECT_EQ(Qmhost("plugins --help").status, 0);
}

}  // namespace
