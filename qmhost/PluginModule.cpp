#include "PluginModule.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <gelf.h>
#include <libelf.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <filesystem>

#include "InputFiles.h"
#include "Messages.h"
#include "ShownText.h"

#ifndef QMHOST_PLUGIN_FOLDER
#  define QMHOST_PLUGIN_FOLDER "../lib/qmhost"
#endif

namespace {

constexpr char kFactory[] = "CreatePlugIn";
constexpr char kModuleName[] = "qmMSH2030Vimporter.so";

// What an ELF file's header says of it.
struct ElfKind {
  int elfClass = ELFCLASSNONE;
  int machine = EM_NONE;
  int type = ET_NONE;
};

// Whether the ELF object `elf` defines `name` in its dynamic symbol table, as
// a function the loader would find (global or weak, not undefined).
bool ExportsFunction(Elf* elf, const char* name) {
  for (Elf_Scn* section = elf_nextscn(elf, nullptr); section != nullptr;
       section = elf_nextscn(elf, section)) {
    GElf_Shdr header;
    if (gelf_getshdr(section, &header) == nullptr || header.sh_type != SHT_DYNSYM) continue;
    Elf_Data* data = elf_getdata(section, nullptr);
    if (data == nullptr || header.sh_entsize == 0) continue;
    const std::size_t count = header.sh_size / header.sh_entsize;
    for (std::size_t n = 0; n < count; ++n) {
      GElf_Sym symbol;
      if (gelf_getsym(data, static_cast<int>(n), &symbol) == nullptr) continue;
      const int binding = GELF_ST_BIND(symbol.st_info);
      if (symbol.st_shndx == SHN_UNDEF || GELF_ST_TYPE(symbol.st_info) != STT_FUNC ||
          (binding != STB_GLOBAL && binding != STB_WEAK))
        continue;
      const char* symbolName = elf_strptr(elf, header.sh_link, symbol.st_name);
      if (symbolName != nullptr && std::strcmp(symbolName, name) == 0) return true;
    }
  }
  return false;
}

// Reads the ELF file open as `fd`; `exports` tells whether it exports the
// factory. False when it is no ELF file libelf can read.
bool ReadElf(int fd, ElfKind& kind, bool* exports) {
  if (elf_version(EV_CURRENT) == EV_NONE) return false;
  Elf* elf = elf_begin(fd, ELF_C_READ, nullptr);
  if (elf == nullptr) return false;
  GElf_Ehdr header;
  const bool read = elf_kind(elf) == ELF_K_ELF && gelf_getehdr(elf, &header) != nullptr;
  if (read) {
    kind.elfClass = gelf_getclass(elf);
    kind.machine = header.e_machine;
    kind.type = header.e_type;
    if (exports != nullptr) *exports = ExportsFunction(elf, kFactory);
  }
  elf_end(elf);
  return read;
}

// This program's own class and machine: a module must share them to load.
const ElfKind& OwnKind() {
  static const ElfKind kind = [] {
    ElfKind own;
    const int fd = ::open("/proc/self/exe", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
      ReadElf(fd, own, nullptr);
      ::close(fd);
    }
    return own;
  }();
  return kind;
}

std::string ProgramFolder() {
  char self[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) return ".";
  const std::string exe(self, static_cast<std::size_t>(length));
  const std::size_t slash = exe.find_last_of('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : exe.substr(0, slash);
}

bool IsFolder(const std::string& path) {
  struct stat s;
  return ::stat(path.c_str(), &s) == 0 && S_ISDIR(s.st_mode);
}

}  // namespace

std::string NoPluginModule(const std::string& path) {
  std::string problem;
  const int fd = OpenRegularFile(path, problem);
  if (fd < 0) return problem;
  ElfKind kind;
  bool exports = false;
  const bool elf = ReadElf(fd, kind, &exports);
  ::close(fd);
  if (!elf) return "it is no ELF file";
  if (kind.type != ET_DYN) return "it is no shared library";
  const ElfKind& own = OwnKind();
  if (own.machine != EM_NONE && (kind.elfClass != own.elfClass || kind.machine != own.machine))
    return "it is built for another machine than qmhost";
  if (!exports) return "it does not export CreatePlugIn";
  return std::string();
}

PluginModule::PluginModule(const std::string& path) {
  error_ = NoPluginModule(path);
  if (!error_.empty()) return;
  // With a slash the loader takes the path as it stands, rather than
  // searching its library folders for the name.
  const std::string loaded = path.find('/') == std::string::npos ? "./" + path : path;
  handle_ = ::dlopen(loaded.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* reason = ::dlerror();
    error_ = reason != nullptr ? reason : "the loader refused it";
    return;
  }
  using Factory = PlugIn* (*)();
  auto create = reinterpret_cast<Factory>(::dlsym(handle_, kFactory));
  if (create == nullptr) {
    error_ = "it does not export CreatePlugIn";
    return;
  }
  object_ = create();
  if (object_ == nullptr) error_ = "its CreatePlugIn gave no object";
}

PluginModule::~PluginModule() {
  delete object_;
  if (handle_ != nullptr) ::dlclose(handle_);
}

std::unique_ptr<PluginModule> LoadImportPlugin(const std::string& path) {
  auto module = std::make_unique<PluginModule>(path);
  PlugIn* plugin = module->Object();
  if (plugin == nullptr) {
    Error(FileLine(path, "cannot load the plug-in module: " + module->Error()));
    return nullptr;
  }
  if (plugin->PlugInKind() != 1) {
    Error(FileLine(path,
                   "it is no import plug-in (kind " + std::to_string(plugin->PlugInKind()) + ")"));
    return nullptr;
  }
  const char* title = plugin->MenuTitle();
  Detail(FileLine(path, "import plug-in " + QuotedName(title != nullptr ? title : "")));
  return module;
}

std::vector<std::string> PluginFolders() {
  const std::string own = ProgramFolder();
  std::vector<std::string> folders = {own};
  const std::string installed =
      std::filesystem::path(own + "/" + QMHOST_PLUGIN_FOLDER).lexically_normal().string();
  if (IsFolder(installed)) folders.push_back(installed);
  return folders;
}

std::string DefaultPluginPath() {
  const std::vector<std::string> folders = PluginFolders();
  for (const std::string& folder : folders) {
    const std::string path = folder + "/" + kModuleName;
    struct stat s;
    if (::stat(path.c_str(), &s) == 0) return path;
  }
  return folders.front() + "/" + kModuleName;
}
