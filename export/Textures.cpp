#include "Textures.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>

#include "ImageDecode.h"
#include "NameScheme.h"
#include "NameText.h"
#include "SaveContent.h"
#include "qmModelRead.h"

namespace {

// Larger files are refused before they are read: a texture of these files'
// time is a few hundred pixels a side.
constexpr off_t kMaxTextureFileBytes = 256 << 20;

// The texture a material names: its name without the flag's suffix, and
// without any folder a name written on another system may carry.
std::string TextureOf(const char* materialName) {
  std::string name = materialName;
  if (ParseName(materialName).kind == NameKind::Marker) return std::string();
  const std::string suffix = QM_FLAGGED_MATERIAL_SUFFIX;
  if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
    name.resize(name.size() - suffix.size());
  const size_t slash = name.find_last_of("/\\");
  if (slash != std::string::npos) name = name.substr(slash + 1);
  if (name == "." || name == "..") return std::string();
  return name;
}

std::string BesideName(const std::string& stem, const std::string& texture) {
  std::string name = LowerCase(texture);
  for (char& c : name)
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_'))
      c = '_';
  // A file name holds 255 bytes: a long stem gives way to the texture's name.
  constexpr size_t kNameMax = 255;
  const size_t room = kNameMax - name.size() - sizeof ".png";
  return stem.substr(0, std::min(stem.size(), room)) + "." + name + ".png";
}

struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  bool operator==(const FileIdentity& other) const {
    return device == other.device && inode == other.inode;
  }
};

// The bytes of a regular file, read without waiting on anything that is not
// one; empty with `why` set when it can't be read.
std::vector<unsigned char> ReadTextureFile(const std::string& path, std::string& why) {
  std::vector<unsigned char> bytes;
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    why = std::strerror(errno);
    return bytes;
  }
  struct stat s;
  if (::fstat(fd, &s) != 0 || !S_ISREG(s.st_mode)) {
    why = "not a regular file";
  } else if (s.st_size > kMaxTextureFileBytes) {
    why = "larger than 256 MiB";
  } else {
    bytes.resize(static_cast<size_t>(s.st_size));
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t got = ::read(fd, bytes.data() + done, bytes.size() - done);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) {
        why = got < 0 ? std::strerror(errno) : "it changed while it was read";
        bytes.clear();
        break;
      }
      done += static_cast<size_t>(got);
    }
  }
  ::close(fd);
  return bytes;
}

// A texture's name in a line for the user: its control characters (a name is
// anyone's bytes) as '_', so no name ends the line.
std::string Printable(const std::string& name) {
  std::string bytes = name;
  for (char& c : bytes) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || (byte >= 0x7F && byte < 0xA0)) c = '_';
  }
  return NameText(bytes.c_str());
}

std::string Joined(const std::vector<std::string>& names) {
  std::string text;
  for (size_t n = 0; n < names.size(); ++n) {
    if (n > 0) text += n + 1 == names.size() ? " and " : ", ";
    text += names[n];
  }
  return text;
}

}  // namespace

// A folder's file names, listed once per save, for look-ups in any case.
struct SaveTextures::Folder {
  std::string path;
  bool listed = false;
  std::vector<std::string> names;
};

std::string SaveTextures::Find(const std::string& texture, std::vector<Folder>& folders) const {
  const std::string wanted = LowerCase(texture);
  for (Folder& folder : folders) {
    if (!folder.listed) {
      folder.listed = true;
      if (DIR* dir = ::opendir(folder.path.c_str())) {
        while (const dirent* entry = ::readdir(dir)) folder.names.emplace_back(entry->d_name);
        ::closedir(dir);
        // The same choice on every run where two names differ only in case.
        std::sort(folder.names.begin(), folder.names.end());
      }
    }
    const std::string* match = nullptr;
    for (const std::string& name : folder.names) {
      if (LowerCase(name) != wanted) continue;
      if (match == nullptr || name == texture) match = &name;
    }
    if (match == nullptr) continue;
    const std::string path =
        folder.path + (folder.path.empty() || folder.path.back() == '/' ? "" : "/") + *match;
    struct stat s;
    if (::stat(path.c_str(), &s) == 0 && S_ISREG(s.st_mode)) return path;
  }
  return std::string();
}

SaveTextures::SaveTextures(qmModel* model, const SaveSettings& settings,
                           const std::vector<bool>& materials, const std::string& savePath) {
  const int count = qmModel_GetMaterialCount(model);
  imageOf_.assign(static_cast<size_t>(count), -1);
  const size_t slash = savePath.find_last_of('/');
  folder_ = slash == std::string::npos ? std::string() : savePath.substr(0, slash + 1);
  if (!settings.textures) return;

  std::vector<Folder> folders;
  if (!settings.source.empty()) {
    const size_t sourceSlash = settings.source.find_last_of('/');
    folders.push_back(
        {sourceSlash == std::string::npos ? "." : settings.source.substr(0, sourceSlash + 1), false,
         {}});
    sourceName_ = FileName(settings.source);
  }
  for (const std::string& folder : settings.textureFolders) folders.push_back({folder, false, {}});
  textureFolders_ = settings.textureFolders;
  if (folders.empty()) return;

  const std::string stem = FileName(WithoutExtension(savePath));
  std::vector<FileIdentity> identities;
  for (int m = 0; m < count && m < static_cast<int>(materials.size()); ++m) {
    if (!materials[static_cast<size_t>(m)]) continue;
    const std::string texture = TextureOf(qmMaterial_GetName(qmModel_GetMaterialAt(model, m)));
    if (texture.empty()) continue;
    const std::string source = Find(texture, folders);
    struct stat s;
    if (source.empty() || ::stat(source.c_str(), &s) != 0) {
      if (std::find(notFound_.begin(), notFound_.end(), Printable(texture)) == notFound_.end())
        notFound_.push_back(Printable(texture));
      continue;
    }
    // Names that differ in case, or by a flag, find the same file: one image.
    const FileIdentity identity{s.st_dev, s.st_ino};
    const auto same = std::find(identities.begin(), identities.end(), identity);
    if (same != identities.end()) {
      imageOf_[static_cast<size_t>(m)] = static_cast<int>(same - identities.begin());
      continue;
    }
    TextureImage image;
    image.texture = texture;
    image.source = source;
    image.besideName = BesideName(stem, texture);
    // Two textures whose names differ only where '_' stands in get numbers.
    for (int n = 2; std::any_of(images_.begin(), images_.end(), [&](const TextureImage& other) {
           return other.besideName == image.besideName;
         });
         ++n)
      image.besideName = BesideName(stem, texture + "-" + std::to_string(n));
    imageOf_[static_cast<size_t>(m)] = static_cast<int>(images_.size());
    images_.push_back(std::move(image));
    identities.push_back(identity);
  }
}

void SaveTextures::Load() {
  std::vector<int> kept(images_.size(), -1);
  std::vector<TextureImage> loaded;
  for (size_t n = 0; n < images_.size(); ++n) {
    std::string why;
    try {
      const std::vector<unsigned char> bytes = ReadTextureFile(images_[n].source, why);
      if (why.empty()) images_[n].png = ImageAsPng(bytes.data(), bytes.size(), why);
    } catch (const std::bad_alloc&) {
      why = "not enough memory for it";
    }
    if (!why.empty() || images_[n].png.empty()) {
      unreadable_.push_back(Printable(images_[n].texture) + " (" + (why.empty() ? "empty" : why) +
                            ")");
      continue;
    }
    kept[n] = static_cast<int>(loaded.size());
    loaded.push_back(std::move(images_[n]));
  }
  images_ = std::move(loaded);
  for (int& image : imageOf_)
    if (image >= 0) image = kept[static_cast<size_t>(image)];
}

int SaveTextures::ImageOf(int material) const {
  if (material < 0 || static_cast<size_t>(material) >= imageOf_.size()) return -1;
  return imageOf_[static_cast<size_t>(material)];
}

std::vector<std::string> SaveTextures::BesidePaths() const {
  std::vector<std::string> paths;
  for (const TextureImage& image : images_) paths.push_back(folder_ + image.besideName);
  return paths;
}

std::string SaveTextures::Replaced(const std::vector<std::string>& written) const {
  for (const std::string& path : written) {
    struct stat target;
    if (::stat(path.c_str(), &target) != 0) continue;
    for (const TextureImage& image : images_) {
      struct stat source;
      if (::stat(image.source.c_str(), &source) == 0 && source.st_dev == target.st_dev &&
          source.st_ino == target.st_ino)
        return "its " + path + " would replace the texture " + image.source;
    }
  }
  return std::string();
}

std::string SaveTextures::MissingText() const {
  if (notFound_.empty() && unreadable_.empty()) return std::string();
  std::string text = "textures left out: ";
  if (!notFound_.empty()) {
    text += Joined(notFound_) + (notFound_.size() == 1 ? " was" : " were") + " not found";
    if (!sourceName_.empty()) text += " beside " + sourceName_;
    if (!textureFolders_.empty())
      text += std::string(sourceName_.empty() ? " in " : " or in ") + Joined(textureFolders_);
  }
  if (!unreadable_.empty()) {
    if (!notFound_.empty()) text += "; ";
    text += "could not read " + Joined(unreadable_);
  }
  return text;
}
