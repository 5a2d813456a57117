// The plug-in object and its run: the dialog's settings, the paths out of a
// run, and the one message a user sees.
#include <gtest/gtest.h>
#include <dlfcn.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "Dialogs.h"
#include "MeshImportPlugIn.h"
#include "PluginModule.h"
#include "SampleFile.h"
#include "TestSupport.h"

namespace {

// Answers the run's dialogs as a user would, and records what they showed.
class ScriptedUser {
 public:
  explicit ScriptedUser(std::optional<std::string> answer) : answer_(std::move(answer)) {
    qmWinDialogs_SetHandlers(&ScriptedUser::Open, &ScriptedUser::Show, this);
  }
  ~ScriptedUser() { qmWinDialogs_SetHandlers(nullptr, nullptr, nullptr); }

  int dialogs = 0;
  // The last dialog's record; its pointers are only valid during the call, so
  // the texts they point to are kept apart.
  OPENFILENAMEA lastDialog{};
  std::string title, defaultExtension, initialFile;
  std::vector<std::string> filter;  // the filter text's strings, in order
  std::vector<std::string> messages;

 private:
  static int Open(const OPENFILENAMEA* ofn, char* path, DWORD capacity, void* context) {
    auto* self = static_cast<ScriptedUser*>(context);
    ++self->dialogs;
    self->lastDialog = *ofn;
    self->title = ofn->lpstrTitle;
    self->defaultExtension = ofn->lpstrDefExt;
    self->initialFile = ofn->lpstrFile;
    self->filter.clear();
    for (const char* at = ofn->lpstrFilter; *at != '\0'; at += std::strlen(at) + 1)
      self->filter.emplace_back(at);
    if (!self->answer_ || self->answer_->size() >= capacity) return 0;
    std::strcpy(path, self->answer_->c_str());
    return 1;
  }
  static void Show(const char* text, const char* caption, UINT type, void* context) {
    auto* self = static_cast<ScriptedUser*>(context);
    EXPECT_EQ(caption, nullptr);
    EXPECT_EQ(type, static_cast<UINT>(MB_OK));
    self->messages.emplace_back(text);
  }

  std::optional<std::string> answer_;
};

std::string WriteTempMsh(const std::string& name, const std::vector<std::uint8_t>& bytes) {
  const std::string path = testing::TempDir() + "qm_run_" + std::to_string(getpid()) + name;
  EXPECT_TRUE(SaveMsh(bytes, path));
  return path;
}

TEST(PlugInObject, IsAnImportPlugInWithItsTitle) {
  // Through the built module, as the host finds it.
  PluginModule module(std::string(QM_BINARY_DIR) + "/qmMSH2030Vimporter.so");
  ASSERT_EQ(module.Error(), "");
  PlugIn* plugin = module.Object();
  ASSERT_NE(plugin, nullptr);
  auto create = reinterpret_cast<PlugIn* (*)()>(dlsym(module.Handle(), "CreatePlugIn"));
  PlugIn* other = create();
  EXPECT_NE(plugin, other);
  EXPECT_EQ(plugin->PlugInKind(), 1);
  char* title = plugin->MenuTitle();
  EXPECT_STREQ(title, "Velun 2030V Mesh...");
  EXPECT_EQ(plugin->MenuTitle(), title);
  delete other;
}

TEST(Run, WithoutAModelReturnsMinusOneAndAsksNothing) {
  ScriptedUser user(std::string("/nonexistent.msh"));
  MeshImportPlugIn plugin;
  EXPECT_EQ(plugin.Run(nullptr), -1);
  EXPECT_EQ(user.dialogs, 0);
  EXPECT_TRUE(user.messages.empty());
}

TEST(Run, AsksForOneExistingMshFile) {
  ScriptedUser user(std::nullopt);
  MeshImportPlugIn plugin;
  qmModelPtr model = NewModel();
  EXPECT_EQ(plugin.Run(model.get()), 0);
  ASSERT_EQ(user.dialogs, 1);
  const OPENFILENAMEA& ofn = user.lastDialog;
  EXPECT_EQ(ofn.lStructSize, 76u);
  EXPECT_EQ(ofn.hwndOwner, nullptr);
  EXPECT_EQ(user.title, "Import Velun 2030V Mesh *.msh");
  EXPECT_EQ(ofn.Flags, 0x1804u);
  EXPECT_EQ(ofn.nMaxFile, 256u);
  EXPECT_EQ(ofn.nMaxFileTitle, 256u);
  EXPECT_EQ(ofn.nFilterIndex, 0u);
  EXPECT_EQ(ofn.lpstrInitialDir, nullptr);
  EXPECT_EQ(ofn.lpstrCustomFilter, nullptr);
  EXPECT_EQ(user.defaultExtension, "msh");
  EXPECT_EQ(user.initialFile, "");
  EXPECT_EQ(user.filter, (std::vector<std::string>{"Object Files (*.msh)", "*.msh",
                                                   "Msh2030V Mesh File", "*.msh",
                                                   "All Files (*.*)", "*.*"}));
}

TEST(Run, FilterBytesAreExact) {
  char filter[128];
  std::memset(filter, 'x', sizeof filter);
  FillFilter(filter);
  static const char kExpected[] =
      "Object Files (*.msh)\0*.msh\0Msh2030V Mesh File\0*.msh\0All Files (*.*)\0*.*\0";
  EXPECT_EQ(0, std::memcmp(filter, kExpected, sizeof kExpected));
  for (std::size_t n = sizeof kExpected; n < sizeof filter; ++n) EXPECT_EQ(filter[n], '\0');
}

TEST(Run, CancelLeavesTheModelAlone) {
  ScriptedUser user(std::nullopt);
  MeshImportPlugIn plugin;
  qmModelPtr model = NewModel();
  qmModel_AddMesh(model.get());
  EXPECT_EQ(plugin.Run(model.get()), 0);
  EXPECT_EQ(qmModel_GetMeshCount(model.get()), 1);
  EXPECT_TRUE(user.messages.empty());
}

TEST(Run, MissingFileSaysSoOnceAndLeavesTheModelAlone) {
  ScriptedUser user(testing::TempDir() + "no_such_file.msh");
  MeshImportPlugIn plugin;
  qmModelPtr model = NewModel();
  qmModel_AddMesh(model.get());
  EXPECT_EQ(plugin.Run(model.get()), 0);
  EXPECT_EQ(user.messages, (std::vector<std::string>{"Couldn't open the file"}));
  EXPECT_EQ(qmModel_GetMeshCount(model.get()), 1);
}

TEST(Run, TwoRunsInARowBehaveAlike) {
  const std::string path = WriteTempMsh("sample.msh", WriteMsh(SampleFile()));
  ScriptedUser user(path);
  MeshImportPlugIn plugin;
  qmModelPtr model = NewModel();
  EXPECT_EQ(plugin.Run(model.get()), 0);
  const std::vector<std::string> first = MeshNames(model.get());
  EXPECT_EQ(plugin.Run(model.get()), 0);
  EXPECT_EQ(MeshNames(model.get()), first);
  EXPECT_EQ(user.dialogs, 2);
  EXPECT_EQ(user.initialFile, "");  // nothing carries over into the second dialog
  EXPECT_TRUE(user.messages.empty());
  std::remove(path.c_str());
}

// A host may import in several threads at once: each thread's dialogs are
// answered by its own handlers, and its messages reach only them.
TEST(Run, ImportsInThreadsSideBySideAnswerTheirOwnDialogs) {
  const std::string whole = WriteTempMsh("threads_whole.msh", WriteMsh(SampleFile()));
  std::vector<std::uint8_t> bytes = WriteMsh(SampleFile());
  bytes.resize(bytes.size() - 200);
  const std::string cut = WriteTempMsh("threads_cut.msh", bytes);
  struct Job {
    std::string path;
    std::vector<std::string> names;
    size_t dialogs = 0, messages = 0;
  };
  Job jobs[2] = {{whole, {}, 0, 0}, {cut, {}, 0, 0}};
  const auto work = [](Job* job) {
    ScriptedUser user(job->path);
    MeshImportPlugIn plugin;
    for (int n = 0; n < 40; ++n) {
      qmModelPtr model = NewModel();
      plugin.Run(model.get());
      job->names = MeshNames(model.get());
    }
    job->dialogs = static_cast<size_t>(user.dialogs);
    job->messages = user.messages.size();
  };
  std::thread first(work, &jobs[0]);
  std::thread second(work, &jobs[1]);
  first.join();
  second.join();
  EXPECT_EQ(jobs[0].dialogs, 40u);
  EXPECT_EQ(jobs[1].dialogs, 40u);
  EXPECT_EQ(jobs[0].messages, 0u);
  EXPECT_EQ(jobs[1].messages, 40u);
  EXPECT_EQ(jobs[0].names.size(), 22u);  // the sample's whole model
  std::remove(whole.c_str());
  std::remove(cut.c_str());
}

TEST(Run, DamagedFileGivesExactlyOneMessage) {
  std::vector<std::uint8_t> bytes = WriteMsh(SampleFile());
  bytes.resize(bytes.size() - 200);  // into the last group
  const std::string path = WriteTempMsh("damaged.msh", bytes);
  ScriptedUser user(path);
  MeshImportPlugIn plugin;
  qmModelPtr model = NewModel();
  EXPECT_EQ(plugin.Run(model.get()), 0);
  ASSERT_EQ(user.messages.size(), 1u);
  EXPECT_EQ(user.messages[0].rfind("The file is damaged or incomplete", 0), 0u);
  EXPECT_GT(qmModel_GetMeshCount(model.get()), 0);
  std::remove(path.c_str());
}

TEST(Run, PathTooLongForTheDialogIsACancel) {
  ScriptedUser user(std::string(300, 'p'));
  MeshImportPlugIn plugin;
  qmModelPtr model = NewModel();
  EXPECT_EQ(plugin.Run(model.get()), 0);
  EXPECT_TRUE(user.messages.empty());
}

// A model whose memory limit the file's model passes: the import ends with
// the out-of-memory message, and the model keeps the meshes built until then,
// each as in the whole model but the last, which may be cut short, with
// every triangle within its mesh's vertices. At a limit the whole model fits
// in, nothing changes.
TEST(Run, MemoryLimitEndsTheImportWithItsMessageAndKeepsWhatWasBuilt) {
  const std::string path = WriteTempMsh("sample.msh", WriteMsh(SampleFile()));
  ScriptedUser user(path);
  MeshImportPlugIn plugin;
  qmModelPtr whole = NewModel();
  EXPECT_EQ(plugin.Run(whole.get()), 0);
  ASSERT_TRUE(user.messages.empty());
  const int meshes = qmModel_GetMeshCount(whole.get());

  qmModelPtr fits = NewModel();
  qmModel_SetMemoryLimit(fits.get(), qmModel_GetMemoryHeld(whole.get()));
  EXPECT_EQ(plugin.Run(fits.get()), 0);
  EXPECT_TRUE(user.messages.empty());
  EXPECT_EQ(MeshNames(fits.get()), MeshNames(whole.get()));

  qmModelPtr model = NewModel();
  qmModel_SetMemoryLimit(model.get(), 8 * 1024);
  EXPECT_EQ(plugin.Run(model.get()), 0);
  ASSERT_EQ(user.messages.size(), 1u);
  EXPECT_EQ(user.messages[0],
            "There is not enough memory to import the whole file. The model holds what was read "
            "until then.");
  const int built = qmModel_GetMeshCount(model.get());
  EXPECT_GT(built, 0);
  EXPECT_LT(built, meshes);
  for (int m = 0; m < built; ++m) {
    qmMesh* mesh = qmModel_GetMeshAt(model.get(), m);
    qmMesh* original = qmModel_GetMeshAt(whole.get(), m);
    EXPECT_STREQ(qmMesh_GetName(mesh), qmMesh_GetName(original));
    if (m + 1 < built) {
      EXPECT_EQ(qmMesh_GetVertexCount(mesh), qmMesh_GetVertexCount(original)) << m;
      EXPECT_EQ(Triangles(mesh), Triangles(original)) << m;
    }
    for (const std::vector<int>& corners : Triangles(mesh))
      for (int corner : corners) EXPECT_LT(corner, qmMesh_GetVertexCount(mesh)) << m;
  }
  std::remove(path.c_str());
}

}  // namespace
