#include "SafeSave.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <ostream>
#include <random>

#include "FileOutput.h"

namespace {

constexpr std::size_t kWriteBuffer = 1 << 20;
// The disk starts on a file while the rest is formed, 8 MiB at a time, so
// the fsync at the end waits for less of it.
constexpr std::size_t kWriteback = 8 << 20;
constexpr int kMaxLinks = 40;  // links followed before giving up, as the kernel does

std::string Failure(const std::string& path, const std::string& reason) {
  return "cannot save " + path + ": " + reason;
}

// The temporaries being written, in a table the signal handler can walk
// without locks or allocation. A slot is claimed, filled, then marked live;
// it is marked free before it is claimed again.
enum SlotState { kFree, kClaimed, kLive };
constexpr int kSlots = 64;
constexpr std::size_t kNameSize = 24;  // ".qmhost-", 8 characters and the NUL

struct Slot {
  std::atomic<int> state{kFree};
  int folder = -1;
  char name[kNameSize] = {};
};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler reads the slots");

Slot g_slots[kSlots];

const int kCleanupSignals[] = {SIGHUP, SIGINT, SIGTERM};

// Threads inside a SignalsHeld section, and whether a signal is ending the
// process: the handler, which may run in any thread, waits for the sections
// of the others to end, and no new one begins.
std::atomic<int> g_held{0};
std::atomic<bool> g_ending{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler sets it");

void RemoveTemporariesAndEnd(int signal) {
  const int saved = errno;
  g_ending.store(true);
  while (g_held.load() > 0) {
    const timespec pause = {0, 1000000};
    ::nanosleep(&pause, nullptr);
  }
  for (Slot& slot : g_slots)
    if (slot.state.load() == kLive) ::unlinkat(slot.folder, slot.name, 0);
  errno = saved;
  // The action went back to the default as the handler was entered
  // (SA_RESETHAND): the signal, pending until the handler returns, ends the
  // process as it would have without the handler.
  ::raise(signal);
}

void InstallCleanup() {
  static const bool installed = [] {
    struct sigaction action {};
    action.sa_handler = RemoveTemporariesAndEnd;
    sigemptyset(&action.sa_mask);
    for (int signal : kCleanupSignals) sigaddset(&action.sa_mask, signal);
    action.sa_flags = SA_RESETHAND;
    for (int signal : kCleanupSignals) {
      // An ignored signal stays ignored (nohup), and a handler the program
      // set is its own.
      struct sigaction old {};
      if (::sigaction(signal, nullptr, &old) == 0 && (old.sa_flags & SA_SIGINFO) == 0 &&
          old.sa_handler == SIG_DFL)
        ::sigaction(signal, &action, nullptr);
    }
    return true;
  }();
  static_cast<void>(installed);
}

// Holds the cleanup signals back while the files of a save change places,
// so the handler never meets a save half renamed: in this thread by the
// signal mask, and in a handler run by another thread (saves may run in
// threads side by side) by its wait for every section to end. A section
// that would begin once the handler runs waits for the end of the process.
class SignalsHeld {
 public:
  SignalsHeld() {
    sigset_t set;
    sigemptyset(&set);
    for (int signal : kCleanupSignals) sigaddset(&set, signal);
    ::pthread_sigmask(SIG_BLOCK, &set, &old_);
    g_held.fetch_add(1);
    if (g_ending.load()) {
      g_held.fetch_sub(1);
      for (;;) ::pause();
    }
  }
  ~SignalsHeld() {
    g_held.fetch_sub(1);
    ::pthread_sigmask(SIG_SETMASK, &old_, nullptr);
  }
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;

 private:
  sigset_t old_;
};

// ".qmhost-" and eight random letters and digits: short whatever the
// target's name, hidden, and not guessed by another process that saves
// beside it (a name taken is drawn again). Each thread draws from its own
// generator, so saves may run in threads side by side.
std::string TemporaryName() {
  thread_local std::mt19937_64 random(std::random_device{}() ^
                                      static_cast<unsigned>(::getpid()));
  static const char kCharacters[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::string name = ".qmhost-";
  for (int n = 0; n < 8; ++n) name += kCharacters[random() % (sizeof kCharacters - 1)];
  return name;
}

// mkstemp makes files only their owner may read; a new file gets the
// permissions any new file of the user gets.
// The mask is read once: reading it sets it, and a file or folder made by
// another thread in between would get no mask at all.
mode_t NewFileMode() {
  static const mode_t mode = [] {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
  }();
  return mode;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Whether the link at `path` (its status `link`) may be followed, by the rule
// the kernel applies with fs.protected_symlinks: in a sticky folder that
// anyone may write to (/tmp), only a link of the follower or of the folder's
// owner. Otherwise anyone could aim a save at any file of the user.
bool MayFollow(const std::string& path, const struct stat& link) {
  struct stat folder;
  if (::stat(FolderOf(path).c_str(), &folder) != 0) return false;
  const bool shared = (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & S_IWOTH) != 0;
  return !shared || link.st_uid == ::geteuid() || link.st_uid == folder.st_uid;
}

// Follows the chain of symbolic links that starts at `path` to the file it
// ends at (which need not exist yet); returns 0 or an errno.
int ResolveLinks(std::string& path) {
  for (int hops = 0; hops <= kMaxLinks; ++hops) {
    struct stat s;
    if (::lstat(path.c_str(), &s) != 0 || !S_ISLNK(s.st_mode)) return 0;
    if (!MayFollow(path, s)) return EACCES;
    char target[PATH_MAX];
    const ssize_t length = ::readlink(path.c_str(), target, sizeof target);
    if (length < 0) return errno;
    if (length == 0) return ENOENT;
    if (static_cast<size_t>(length) == sizeof target) return ENAMETOOLONG;
    const std::string link(target, static_cast<size_t>(length));
    path = link.front() == '/' ? link : FolderOf(path) + "/" + link;
  }
  return ELOOP;
}

// One file of a save on its way into place.
struct Target {
  std::string path;        // as the caller named it
  std::string folderPath;  // the folder of the file it replaces, links followed
  std::string name;        // that file's name in its folder
  int folder = -1;         // the folder, open for the *at calls
  bool existed = false;
  mode_t mode = 0;          // the permissions the new file gets
  Slot* temporary = nullptr;  // while the temporary exists under its name
  std::string temporaryName;
  int descriptor = -1;  // the temporary, open from its write until it is on the disk
  std::string backupName;  // a hard link to the old file while the renames run
  bool keepBackup = false;  // the old file could not be put back: it stays there
};

// The files of one save. Whatever way the save ends, a temporary still there
// is removed, and so is a backup unless it holds the only copy of an old file.
class Save {
 public:
  explicit Save(size_t count) : targets(count) {}
  ~Save() {
    for (Target& target : targets) {
      if (target.descriptor >= 0) ::close(target.descriptor);
      Remove(target);
      if (target.folder >= 0) ::close(target.folder);
    }
  }
  Save(const Save&) = delete;
  Save& operator=(const Save&) = delete;

  // Removes the target's temporary and backup, if still there.
  static void Remove(Target& target) {
    if (target.temporary != nullptr) {
      ::unlinkat(target.folder, target.temporaryName.c_str(), 0);
      target.temporary->state.store(kFree);
      target.temporary = nullptr;
    }
    if (!target.backupName.empty() && !target.keepBackup) {
      ::unlinkat(target.folder, target.backupName.c_str(), 0);
      target.backupName.clear();
    }
  }

  std::vector<Target> targets;
};

// Finds the file a save to `target.path` replaces and opens its folder;
// returns why it can't be saved, or nothing.
std::string Prepare(Target& target) {
  std::string resolved = target.path;
  if (resolved.empty()) return std::strerror(ENOENT);
  if (const int code = ResolveLinks(resolved)) return std::strerror(code);
  const size_t slash = resolved.find_last_of('/');
  target.name = slash == std::string::npos ? resolved : resolved.substr(slash + 1);
  if (target.name.empty() || target.name == "." || target.name == "..")
    return std::strerror(EISDIR);
  target.folderPath = FolderOf(resolved);
  target.folder = ::open(target.folderPath.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (target.folder < 0) return std::strerror(errno);
  struct stat s;
  if (::fstatat(target.folder, target.name.c_str(), &s, AT_SYMLINK_NOFOLLOW) == 0) {
    // A folder is left to the rename, which refuses it.
    if (!S_ISREG(s.st_mode) && !S_ISDIR(s.st_mode))
      return std::string("it is ") + FileKindName(s.st_mode) + ", not a regular file";
    target.existed = S_ISREG(s.st_mode);
    target.mode = s.st_mode & 0777;
  } else if (errno != ENOENT) {
    return std::strerror(errno);
  }
  if (!target.existed) target.mode = NewFileMode();
  return std::string();
}

// Two files of one save that are one file (a.obj a link to a.mtl, say).
std::string SameFile(const std::vector<Target>& targets) {
  for (size_t a = 0; a < targets.size(); ++a) {
    for (size_t b = a + 1; b < targets.size(); ++b) {
      struct stat sa, sb;
      if (targets[a].name == targets[b].name && ::fstat(targets[a].folder, &sa) == 0 &&
          ::fstat(targets[b].folder, &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino)
        return Failure(targets[b].path, "it is the same file as " + targets[a].path);
    }
  }
  return std::string();
}

// Creates the temporary and marks it for the signal handler; signals are
// held between the two so none finds a file that is not yet marked.
int CreateTemporary(Target& target) {
  SignalsHeld held;
  Slot* slot = nullptr;
  for (Slot& candidate : g_slots) {
    int expected = kFree;
    if (candidate.state.compare_exchange_strong(expected, kClaimed)) {
      slot = &candidate;
      break;
    }
  }
  if (slot == nullptr) {
    errno = EMFILE;
    return -1;
  }
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = TemporaryName();
    const int fd = ::openat(target.folder, name.c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd >= 0) {
      std::memcpy(slot->name, name.c_str(), name.size() + 1);
      slot->folder = target.folder;
      slot->state.store(kLive);
      target.temporary = slot;
      target.temporaryName = name;
      return fd;
    }
    if (errno != EEXIST) break;
  }
  const int code = errno;
  slot->state.store(kFree);
  errno = code;
  return -1;
}

// Writes the file's content straight into its temporary, which stays open
// for OnDisk. Returns why it failed, or nothing.
std::string WriteTemporary(Target& target, const FileToSave& file) {
  const int fd = CreateTemporary(target);
  if (fd < 0) return std::strerror(errno);
  target.descriptor = fd;
  if (::fchmod(fd, target.mode) != 0) return std::strerror(errno);

  FileOutput buffer(fd, kWriteBuffer);
  buffer.StartWritebackEvery(kWriteback);
  std::ostream out(&buffer);
  const bool formed = file.write(out);
  buffer.Flush();
  // A stream that failed says why; a writer that returned false on a stream
  // that took everything could not form its content.
  if (buffer.Error() != 0) return std::strerror(buffer.Error());
  if (!formed) return "its content could not be formed";
  return std::string();
}

// Flushes the written temporary to the disk and closes it, so a rename never
// puts an empty file in place of a good one after a crash. Returns why it
// failed, or nothing.
std::string OnDisk(Target& target) {
  const int fd = target.descriptor;
  target.descriptor = -1;
  if (::fsync(fd) != 0) {
    const int code = errno;
    ::close(fd);
    return std::strerror(code);
  }
  if (::close(fd) != 0) return std::strerror(errno);
  return std::string();
}

// A hard link to the old file under a temporary name, so the old file can be
// put back should a later rename of the save fail. Where links are not to be
// had, the old file can't be put back, and the error says so.
void KeepOldFile(Target& target) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = TemporaryName();
    if (::linkat(target.folder, target.name.c_str(), target.folder, name.c_str(), 0) == 0) {
      target.backupName = name;
      return;
    }
    if (errno != EEXIST) return;
  }
}

// Puts the file back as it was before its rename; false when it can't.
bool PutBack(Target& target) {
  if (!target.existed) return ::unlinkat(target.folder, target.name.c_str(), 0) == 0;
  if (target.backupName.empty() ||
      ::renameat(target.folder, target.backupName.c_str(), target.folder, target.name.c_str()) != 0)
    return false;
  target.backupName.clear();
  return true;
}

// Renames every temporary into place, or none: when one rename fails, those
// done before it are undone, last first.
bool PlaceAll(std::vector<Target>& targets, std::string& error) {
  SignalsHeld held;
  size_t placed = 0;
  int code = 0;
  for (; placed < targets.size(); ++placed) {
    Target& target = targets[placed];
    if (target.existed) KeepOldFile(target);
    if (::renameat(target.folder, target.temporaryName.c_str(), target.folder,
                   target.name.c_str()) != 0) {
      code = errno;
      break;
    }
    target.temporary->state.store(kFree);
    target.temporary = nullptr;
  }
  if (placed < targets.size()) {
    error = Failure(targets[placed].path, std::strerror(code));
    for (size_t n = placed; n-- > 0;) {
      Target& target = targets[n];
      if (PutBack(target)) continue;
      if (!target.existed) {
        error += "; " + target.path + " was already written and could not be removed";
        continue;
      }
      error += "; " + target.path + " was already replaced by the new file";
      if (!target.backupName.empty()) {
        error += ", its old content is kept as " + target.folderPath + "/" + target.backupName;
        target.keepBackup = true;
      }
    }
  }
  // Still with the signals held: nothing of the save is left behind however
  // the process ends next.
  for (Target& target : targets) Save::Remove(target);
  return placed == targets.size();
}

}  // namespace

void PrepareSaves() {
  InstallCleanup();
  NewFileMode();
}

struct StagedSave::Files {
  explicit Files(std::size_t count) : save(count) {}
  Save save;
};

StagedSave::StagedSave() = default;
StagedSave::~StagedSave() = default;

bool StagedSave::Write(const std::vector<FileToSave>& files, std::string& error) {
  PrepareSaves();
  files_ = std::make_unique<Files>(files.size());
  std::vector<Target>& targets = files_->save.targets;
  for (size_t n = 0; n < files.size(); ++n) {
    targets[n].path = files[n].path;
    const std::string reason = Prepare(targets[n]);
    if (!reason.empty()) {
      error = Failure(files[n].path, reason);
      files_.reset();
      return false;
    }
  }
  error = SameFile(targets);
  if (!error.empty()) {
    files_.reset();
    return false;
  }
  for (size_t n = 0; n < files.size(); ++n) {
    const std::string reason = WriteTemporary(targets[n], files[n]);
    if (!reason.empty()) {
      error = Failure(files[n].path, reason);
      files_.reset();
      return false;
    }
  }
  return true;
}

bool StagedSave::Place(std::string& error) {
  if (!files_) {
    error = "cannot save: nothing was written";
    return false;
  }
  const std::unique_ptr<Files> files = std::move(files_);
  for (Target& target : files->save.targets) {
    const std::string reason = OnDisk(target);
    if (!reason.empty()) {
      error = Failure(target.path, reason);
      return false;
    }
  }
  return PlaceAll(files->save.targets, error);
}

bool SaveFiles(const std::vector<FileToSave>& files, std::string& error) {
  StagedSave save;
  return save.Write(files, error) && save.Place(error);
}

bool SaveFile(const std::string& path, const std::function<bool(std::ostream&)>& write,
              std::string& error) {
  return SaveFiles({FileToSave{path, write}}, error);
}

TemporaryFile::TemporaryFile(const std::string& folder) {
  InstallCleanup();
  Target target;
  target.folder = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (target.folder < 0) {
    error_ = "cannot make a temporary file in " + folder + ": " + std::strerror(errno);
    return;
  }
  fd_ = CreateTemporary(target);
  folder_ = target.folder;
  if (fd_ < 0) {
    error_ = "cannot make a temporary file in " + folder + ": " + std::strerror(errno);
    return;
  }
  slot_ = target.temporary;
  name_ = target.temporaryName;
  path_ = (folder.empty() || folder.back() == '/' ? folder : folder + "/") + name_;
}

TemporaryFile::~TemporaryFile() {
  if (fd_ >= 0) ::close(fd_);
  if (slot_ != nullptr) {
    ::unlinkat(folder_, name_.c_str(), 0);
    static_cast<Slot*>(slot_)->state.store(kFree);
  }
  if (folder_ >= 0) ::close(folder_);
}

const char* FileKindName(unsigned mode) {
  switch (mode & S_IFMT) {
    case S_IFREG: return "a regular file";
    case S_IFDIR: return "a folder";
    case S_IFIFO: return "a FIFO";
    case S_IFCHR: return "a character device";
    case S_IFBLK: return "a block device";
    case S_IFSOCK: return "a socket";
    case S_IFLNK: return "a symbolic link";
  }
  return "no regular file";
}
