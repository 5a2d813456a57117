// What qmhost promises about the files already on the disk, tried as a
// careless or hostile user would: nothing read is nothing written, no save
// replaces an input, no input blocks, temporaries never outlive the process,
// and every failed write, to a file or to standard output, is told with the
// system's reason.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "QmhostRun.h"
#include "TestSupport.h"

extern char** environ;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#  if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#  else
constexpr bool kAddressSanitizer = false;
#  endif
#else
constexpr bool kAddressSanitizer = false;
#endif

const std::string kSample = std::string(QM_SOURCE_DIR) + "/samples/sample.msh";
const std::string kKept = "a file that was here before";

// A small file that describes a large model: `meshes` mesh records that each
// take the whole pool of 65535 vertices, as many as a mesh can reach.
std::vector<std::uint8_t> LargeModel(int meshes) {
  MshFile file;
  file.vertices = NumberedVertices(65535);
  for (int n = 0; n < 3000; ++n) file.indices.push_back(static_cast<std::uint16_t>(n * 7 % 65535));
  std::vector<MshMesh> records(static_cast<size_t>(meshes), MeshOf("big.tga", 0, 65535, 0, 1000));
  file.groups.push_back(GroupOf({LevelOf(0, records)}));
  return WriteMsh(file);
}

class SaveSafety : public TempFolderTest {
 protected:
  void Keep(const std::string& name) const { std::ofstream(Path(name), std::ios::binary) << kKept; }
};

using Names = std::vector<std::string>;

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The plug-in read nothing (it could not open the file, or never got a path):
// no output is written or touched, and the reason is told. Neither a FIFO nor
// a device blocks a command.
TEST_F(SaveSafety, NothingReadIsNothingWritten) {
  ASSERT_EQ(::mkdir(Path("folder.msh").c_str(), 0755), 0);
  ASSERT_EQ(::mkfifo(Path("fifo.msh").c_str(), 0644), 0);
  ASSERT_EQ(::symlink("/dev/zero", Path("device.msh").c_str()), 0);
  {
    std::ofstream big(Path("big.msh"), std::ios::binary);
    big.seekp((INT64_C(1) << 31) - 1);
    big.put('\0');
  }
  // A good file whose path is longer than the dialog's 255 characters.
  std::string longPath = std::string(120, 'd');
  ASSERT_EQ(::mkdir(Path(longPath).c_str(), 0755), 0);
  longPath += "/" + std::string(120, 'e');
  ASSERT_EQ(::mkdir(Path(longPath).c_str(), 0755), 0);
  longPath += "/" + std::string(20, 'f') + ".msh";
  Write(longPath, WriteMsh(OneTriangle()));

  const struct {
    std::string input;
    std::string reason;
    bool viaDialog;  // check reads the file without the plug-in's dialog
  } inputs[] = {
      {"missing.msh", "No such file or directory", false},
      {"folder.msh", "it is a folder, not a regular file", false},
      {"fifo.msh", "it is a FIFO, not a regular file", false},
      {"device.msh", "it is a character device, not a regular file", false},
      {"big.msh", "it is 2 GiB or more, more than the plug-in reads", false},
      {longPath, "the path is longer than the 255 characters the plug-in's dialog takes", true},
  };
  for (const auto& input : inputs) {
    SCOPED_TRACE(input.input.substr(0, 20));
    // The plug-in's word, where it was given the path, then qmhost's reason.
    const std::string said =
        (input.viaDialog ? "" : "qmhost: " + input.input + ": \"Couldn't open the file\"\n") +
        "qmhost: " + input.input + ": " + input.reason + "\n";
    Keep("keep.glb");
    Keep("keep.png");
    const Outcome import = Qmhost("import " + input.input + " -o keep.glb");
    EXPECT_EQ(import.status, 1);
    EXPECT_NE(import.err.find("qmhost: " + input.input + ": " + input.reason +
                              "; keep.glb was not written\n"),
              std::string::npos)
        << import.err;
    EXPECT_EQ(ReadText(Path("keep.glb")), kKept);

    // convert takes a folder for the files in it.
    const Outcome convert = Qmhost("convert " + input.input + " -d out");
    EXPECT_EQ(convert.status, 1);
    EXPECT_EQ(convert.err, input.input == "folder.msh"
                               ? "qmhost: folder.msh: no .msh files in the folder (-r looks in "
                                 "its folders too)\n"
                               : said);
    EXPECT_EQ(convert.out,
              "1 file: 0 converted cleanly, 0 damaged (converted with a message), 1 failed\n");
    EXPECT_EQ(Listing("out"), Names{});

    const Outcome render = Qmhost("render " + input.input + " -o keep.png");
    EXPECT_EQ(render.status, 1);
    EXPECT_EQ(render.err, said);
    EXPECT_EQ(ReadText(Path("keep.png")), kKept);

    if (!input.viaDialog) {
      const Outcome check = Qmhost("check " + input.input);
      EXPECT_EQ(check.status, 1);
      EXPECT_EQ(check.out, "");
      EXPECT_EQ(check.err, "qmhost: " + input.input + ": " + input.reason + "\n");
    }
  }
}

// No path given to the plug-in: the user cancelled, or the answer never
// ends. With -o that is a failure, said on standard error; the typed answer is
// read no further than the dialog's buffer and a little more.
TEST_F(SaveSafety, ACancelledDialogWritesNothing) {
  std::ofstream(Path("empty.txt")) << "\n";
  std::ofstream(Path("long.txt")) << std::string(300, 'x') << "\n";
  const struct {
    const char* name;
    std::string input;
    const char* said;  // on standard error, the dialog's terminal
  } answers[] = {
      {"an empty answer", "empty.txt", ""},
      {"the end of the input", "/dev/null", ""},
      {"a path too long, then the end", "long.txt", "The path is longer than 255 characters.\n"},
      {"an answer without end", "/dev/zero", "The answer has no end within 65792 characters.\n"},
  };
  for (const auto& answer : answers) {
    SCOPED_TRACE(answer.name);
    Keep("keep.glb");
    const Outcome saved = Qmhost("import -o keep.glb", answer.input);
    EXPECT_EQ(saved.status, 1);
    EXPECT_TRUE(EndsWith(saved.err,
                         "qmhost: no file was chosen; nothing was imported; keep.glb was "
                         "not written\n"))
        << saved.err.substr(0, 400);
    EXPECT_NE(saved.err.find(answer.said), std::string::npos) << saved.err.substr(0, 400);
    EXPECT_EQ(saved.out, "");
    EXPECT_EQ(ReadText(Path("keep.glb")), kKept);

    const Outcome shown = Qmhost("import", answer.input);
    EXPECT_EQ(shown.status, 0);
    EXPECT_TRUE(EndsWith(shown.err, "qmhost: no file was chosen; nothing was imported\n"))
        << shown.err.substr(0, 400);
  }
}

// A damaged file gives what the import built, as before.
TEST_F(SaveSafety, ADamagedFileStillSavesWhatWasBuilt) {
  std::vector<std::uint8_t> cut = WriteMsh(OneTriangle());
  cut.resize(cut.size() - 10);
  Write("cut.msh", cut);
  Keep("keep.json");
  const Outcome run = Qmhost("import cut.msh -o keep.json");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err.rfind("qmhost: cut.msh: \"The file is damaged or incomplete", 0), 0u)
      << run.err;
  EXPECT_EQ(ReadText(Path("keep.json")).rfind("{\"format\":\"qmhost-model\"", 0), 0u);
}

// Inputs are known by their device and inode: no name, link or spelling lets
// a save replace one.
TEST_F(SaveSafety, NoSaveReplacesAnInput) {
  const std::vector<std::uint8_t> mesh = WriteMsh(OneTriangle());
  const struct {
    const char* command;
    const char* input;  // holds a mesh file, whatever its name
    const char* said;
    const char* link = nullptr;  // a symbolic link to the input
    const char* hardLink = nullptr;
  } cases[] = {
      {"convert x.mtl --to obj", "x.mtl",
       "qmhost: x.mtl: cannot save x.obj: its x.mtl would replace the input x.mtl\n"},
      {"convert a.msh a.glb", "a.glb",
       "qmhost: a.msh: cannot save a.glb: it would replace the input a.glb\n"},
      {"import s.json -o s.json", "s.json",
       "qmhost: cannot save s.json: it would replace the input s.json\n"},
      {"import s.msh -o other.json", "s.msh",
       "qmhost: cannot save other.json: it would replace the input s.msh\n", nullptr, "other.json"},
      {"import s.msh -o m.obj", "s.msh",
       "qmhost: cannot save m.obj: its m.mtl would replace the input s.msh\n", "m.mtl"},
      {"render s.msh -o s.png", "s.msh",
       "qmhost: cannot save s.png: it would replace the input s.msh\n", "s.png"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    TearDown();
    SetUp();
    Write("a.msh", mesh);
    Write(c.input, mesh);
    if (c.link) {
      ASSERT_EQ(::symlink(c.input, Path(c.link).c_str()), 0);
    }
    if (c.hardLink) {
      ASSERT_EQ(::link(Path(c.input).c_str(), Path(c.hardLink).c_str()), 0);
    }
    const Outcome run = Qmhost(c.command);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(c.said), std::string::npos) << run.err;
    EXPECT_EQ(ReadText(Path(c.input)), std::string(mesh.begin(), mesh.end()));
  }
}

// A module that is no regular file is never handed to the loader, which would
// wait on a FIFO forever.
TEST_F(SaveSafety, PluginsThatAreNoRegularFilesAreNotLoaded) {
  ASSERT_EQ(::mkfifo(Path("a.so").c_str(), 0644), 0);
  ASSERT_EQ(::symlink((std::string(QM_BINARY_DIR) + "/qmMSH2030Vimporter.so").c_str(),
                      Path("mesh.so").c_str()),
            0);
  const Outcome list = Qmhost("plugins .");
  EXPECT_EQ(list.status, 0);
  EXPECT_EQ(list.out, "./mesh.so: import plug-in \"Velun 2030V Mesh...\"\n");

  Write("s.msh", WriteMsh(OneTriangle()));
  const Outcome import = Qmhost("import s.msh --plugin ./a.so");
  EXPECT_EQ(import.status, 2);
  EXPECT_EQ(import.err,
            "qmhost: ./a.so: cannot load the plug-in module: it is a FIFO, not a regular file\n");
}

// A save killed by a signal leaves no temporary: the handler removes it and
// the signal then ends the process as it would have. Saves in jobs side by
// side too, where the handler may run in a thread other than a save's, and
// a save of files that go in together (an .obj and its .mtl) is never left
// half in place.
TEST_F(SaveSafety, ASignalInTheMiddleOfASaveLeavesNoTemporary) {
  Write("big.msh", LargeModel(40));
  Write("copy.msh", LargeModel(40));
  ASSERT_EQ(::mkdir(Path("out").c_str(), 0777), 0);
  const std::vector<std::vector<std::string>> commands = {
      {QmhostPath(), "import", Path("big.msh"), "-o", Path("big.json")},
      {QmhostPath(), "convert", "-j", "2", Path("big.msh"), Path("copy.msh"), "--to", "obj", "-d",
       Path("out")}};
  for (const std::vector<std::string>& words : commands) {
    std::vector<char*> argv;
    for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
      SCOPED_TRACE(words[1] + " " + strsignal(signal));
      // The signals at their defaults in qmhost, whatever the test runner set.
      posix_spawnattr_t attributes;
      posix_spawnattr_init(&attributes);
      sigset_t ours, none;
      sigemptyset(&ours);
      for (const int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&ours, s);
      sigemptyset(&none);
      posix_spawnattr_setsigdefault(&attributes, &ours);
      posix_spawnattr_setsigmask(&attributes, &none);
      posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
      posix_spawn_file_actions_t actions;
      posix_spawn_file_actions_init(&actions);
      posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
      posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
      pid_t pid = 0;
      ASSERT_EQ(posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ), 0);
      posix_spawn_file_actions_destroy(&actions);
      posix_spawnattr_destroy(&attributes);

      // Once a temporary is there, the save is under way.
      bool saving = false;
      for (int wait = 0; wait < 60000 && !saving; ++wait) {
        saving = Listing().size() > 3 || !Listing("out").empty();
        if (!saving) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      EXPECT_TRUE(saving);
      ::kill(pid, signal);
      int status = 0;
      ASSERT_EQ(::waitpid(pid, &status, 0), pid);
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << "status " << status;
      EXPECT_EQ(Listing(), (Names{"big.msh", "copy.msh", "out"}));
      // Each .obj saved is there with its .mtl, or neither is.
      const Names saved = Listing("out");
      for (const std::string& name : saved) {
        EXPECT_EQ(name.find(".qmhost-"), std::string::npos) << name;
        const std::string twin = name.substr(0, name.size() - 3) +
                                 (name.substr(name.size() - 3) == "obj" ? "mtl" : "obj");
        EXPECT_NE(std::find(saved.begin(), saved.end(), twin), saved.end()) << name;
      }
      for (const std::string& name : saved) ::unlink(Path("out/" + name).c_str());
    }
  }
}

// The saves of every format and the picture, the output in folder DIR.
const char* const kSaves[] = {
    "import SAMPLE -o DIR/keep.glb",  "import SAMPLE -o DIR/keep.gltf",
    "import SAMPLE -o DIR/keep.json", "import SAMPLE -o DIR/keep.obj",
    "render SAMPLE -o DIR/keep.png",
};

std::string SaveCommand(const std::string& pattern, const std::string& folder) {
  std::string text = pattern;
  text.replace(text.find("SAMPLE"), 6, kSample);
  text.replace(text.find("DIR"), 3, folder);
  return text;
}

std::string OutputOf(const std::string& pattern) { return pattern.substr(pattern.rfind('/') + 1); }

// A write the system refuses is told with its reason, for every format and
// the picture, and the file that was there keeps its content. A file size
// limit (which qmhost takes as a failed write, not as the end of the process)
// stands in for a full disk anywhere; the disk itself is the next test.
TEST_F(SaveSafety, AFailedWriteSaysTheSystemsReason) {
  ASSERT_EQ(::mkdir(Path("limited").c_str(), 0755), 0);
  for (const char* save : kSaves) {
    SCOPED_TRACE(save);
    const std::string output = OutputOf(save);
    Keep("limited/" + output);
    const Outcome run =
        Shell("prlimit --fsize=4096 " + QmhostPath() + " " + SaveCommand(save, "limited"));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "qmhost: cannot save limited/" + output + ": File too large\n");
    EXPECT_EQ(ReadText(Path("limited/" + output)), kKept);
  }
  // The .mtl fits, the .obj does not: neither is in place.
  EXPECT_EQ(Listing("limited"),
            (Names{"keep.glb", "keep.gltf", "keep.json", "keep.obj", "keep.png"}));
}

// A full disk: a tmpfs of two pages, one of them taken by the file that was
// there, mounted in a mount namespace of its own (unshare makes the test
// user root there).
TEST_F(SaveSafety, AFullDiskSaysNoSpaceLeft) {
  if (Shell("unshare -rm sh -c 'mount -t tmpfs -o size=8k tmpfs .'").status != 0)
    GTEST_SKIP() << "no tmpfs can be mounted here (unshare -rm and mount refused)";
  for (const char* save : kSaves) {
    SCOPED_TRACE(save);
    const std::string output = OutputOf(save);
    const Outcome run = Shell(
        "unshare -rm sh -c 'mkdir -p full && mount -t tmpfs -o size=8k tmpfs full && printf \"" +
        kKept + "\" > full/" + output + " && " + QmhostPath() + " " + SaveCommand(save, "full") +
        " >/dev/null; status=$?; cat full/" + output + "; echo; ls -A full; exit $status'");
    EXPECT_EQ(run.status, 1);
    // The file named is the one that found the disk full: the output, or a
    // texture written beside it.
    const std::string stem = output.substr(0, output.find('.') + 1);
    EXPECT_EQ(run.err.rfind("qmhost: cannot save full/" + stem, 0), 0u) << run.err;
    EXPECT_TRUE(EndsWith(run.err, ": No space left on device\n")) << run.err;
    EXPECT_EQ(run.out, kKept + "\n" + output + "\n");
  }
}

// Standard output that can't be written is an error with its reason, for
// every command; before, `qmhost import x.msh > /dev/full` ended with 0.
TEST_F(SaveSafety, AFailedWriteToStandardOutputIsAnError) {
  Write("s.msh", WriteMsh(OneTriangle()));
  const std::string kCannotWrite = "qmhost: cannot write to standard output: ";
  const char* const commands[] = {"import s.msh", "check s.msh", "convert s.msh",
                                  "plugins " QM_BINARY_DIR, "--help"};
  for (const char* command : commands) {
    SCOPED_TRACE(command);
    const Outcome full = Shell("{ " + QmhostPath() + " " + command + " >/dev/full; }");
    EXPECT_EQ(full.status, 1);
    EXPECT_TRUE(EndsWith(full.err, kCannotWrite + "No space left on device\n")) << full.err;
    const Outcome closed = Shell("{ " + QmhostPath() + " " + command + " >&-; }");
    EXPECT_EQ(closed.status, 1);
    EXPECT_TRUE(EndsWith(closed.err, kCannotWrite + "Bad file descriptor\n")) << closed.err;
  }
}

// Memory that runs out in a save or a render: said for the file, nothing of
// the save is left, and convert goes on with the next file. The model fills
// the memory left under an address space limit (its import ends with the
// plug-in's message). The save then has what the file's buffer gave back:
// a save streams from the model in a few megabytes, so whether that is
// enough depends on the allocator's state, and either way is sound: the
// model saved with what was built (the file counts as damaged), or "not
// enough memory to save", with nothing left of the save. Render needs far
// more and always runs out.
TEST_F(SaveSafety, RunningOutOfMemoryIsToldPerFile) {
  if (kAddressSanitizer)
    GTEST_SKIP() << "under AddressSanitizer no address space limit can be set (it reserves "
                    "terabytes), and its operator new ends the process rather than throw "
                    "std::bad_alloc";
  Write("huge.msh", LargeModel(2000));
  Write("small.msh", WriteMsh(OneTriangle()));
  const std::string limited = "prlimit --as=" + std::to_string(384 << 20) + " " + QmhostPath();
  const std::string kImportRanOut =
      "There is not enough memory to import the whole file. The model holds what was read until "
      "then.";

  // One job: jobs side by side share the address space, and which of them
  // runs out where would vary from run to run.
  const Outcome convert = Shell(limited + " convert -j 1 huge.msh small.msh -d out");
  EXPECT_EQ(convert.status, 1);
  // Where the memory runs out varies with the machine's load (how much of
  // the address space the heap still holds at that moment): in the save, or
  // already before it, when the model holds all there is and nothing is
  // left to say the plug-in's message with. Each is told for the file, and
  // the batch goes on.
  const bool saved = convert.err.find("qmhost: huge.msh: saved what was read as out/huge.glb\n") !=
                     std::string::npos;
  EXPECT_TRUE(saved ||
              convert.err.find("qmhost: huge.msh: not enough memory to save out/huge.glb as "
                               "glTF\n") != std::string::npos ||
              convert.err.find("qmhost: huge.msh: not enough memory to convert it\n") !=
                  std::string::npos)
      << convert.err;
  EXPECT_NE(convert.out.find("files: 1 converted cleanly"), std::string::npos) << convert.err;
  EXPECT_EQ(Listing("out"), saved ? (Names{"huge.glb", "small.glb"}) : Names{"small.glb"});

  const Outcome import = Shell(limited + " import huge.msh -o huge.glb");
  EXPECT_EQ(import.status, 1);
  EXPECT_NE(import.err.find(kImportRanOut), std::string::npos) << import.err;
  const bool imported =
      import.err.find("qmhost: not enough memory to save huge.glb as glTF\n") == std::string::npos;
  EXPECT_EQ(Exists(Path("huge.glb")), imported) << import.err;
  ::unlink(Path("huge.glb").c_str());

  const Outcome render = Shell(limited + " render huge.msh -o huge.png");
  EXPECT_EQ(render.status, 1);
  EXPECT_NE(render.err.find("qmhost: huge.msh: not enough memory to render it\n"),
            std::string::npos)
      << render.err;

  // No memory to load the file at all: nothing read, nothing written.
  {
    std::ofstream gigabyte(Path("gigabyte.msh"), std::ios::binary);
    gigabyte.seekp((INT64_C(1) << 30) - 1);
    gigabyte.put('\0');
  }
  Keep("keep.glb");
  const Outcome unloaded = Shell(limited + " import gigabyte.msh -o keep.glb");
  EXPECT_EQ(unloaded.status, 1);
  EXPECT_EQ(unloaded.err,
            "qmhost: gigabyte.msh: \"Couldn't open the file\"\nqmhost: gigabyte.msh: the plug-in "
            "could not load it (no memory for it, or it changed while it was read); keep.glb was "
            "not written\n");
  EXPECT_EQ(ReadText(Path("keep.glb")), kKept);
  EXPECT_EQ(Listing(), (Names{"gigabyte.msh", "huge.msh", "keep.glb", "out", "small.msh"}));
}

}  // namespace
