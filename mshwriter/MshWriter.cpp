#include "MshWriter.h"

#include <cstring>
#include <fstream>
#include <utility>

namespace {

class Out {
 public:
  explicit Out(std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}

  void U8(std::uint8_t v) { bytes_.push_back(v); }
  void U16(std::uint16_t v) {
    U8(static_cast<std::uint8_t>(v));
    U8(static_cast<std::uint8_t>(v >> 8));
  }
  void U32(std::uint32_t v) {
    U16(static_cast<std::uint16_t>(v));
    U16(static_cast<std::uint16_t>(v >> 16));
  }
  void F32(float v) {
    std::uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    U32(bits);
  }
  template <std::size_t N>
  void Floats(const std::array<float, N>& values) {
    for (float v : values) F32(v);
  }
  // A text in a fixed-width field: the text, its NUL, then a filler pattern.
  void Text(const std::string& text, std::size_t width) {
    for (std::size_t n = 0; n < width; ++n)
      U8(n < text.size() ? static_cast<std::uint8_t>(text[n])
                         : n == text.size() ? 0 : static_cast<std::uint8_t>(0xC0 + n % 16));
  }
  void Filler(std::size_t count, std::uint8_t seed) {
    for (std::size_t n = 0; n < count; ++n) U8(static_cast<std::uint8_t>(seed + n * 7));
  }

 private:
  std::vector<std::uint8_t>& bytes_;
};

template <typename T, typename List>
T CountOf(const std::optional<T>& override, const List& list) {
  return override ? *override : static_cast<T>(list.size());
}

void WriteMesh(Out& out, const MshMesh& mesh) {
  out.Floats(mesh.diffuse);
  out.Floats(mesh.ambient);
  out.Floats(mesh.specular);
  out.Floats(mesh.emissive);
  out.U32(mesh.shininessBits);
  out.F32(mesh.alpha);
  out.Text(mesh.textureName, 262);
  out.U8(mesh.materialFlag);
  out.Filler(2, 0x35);
  out.U32(mesh.firstVertex);
  out.U32(mesh.vertexCount);
  out.U32(mesh.firstIndex);
  out.U32(mesh.triangleCount);
}

void WriteHardpoint(Out& out, const MshHardpoint& hardpoint) {
  out.Text(hardpoint.name, 101);
  out.Floats(hardpoint.diffuse);
  out.U32(hardpoint.shininessBits);
  out.Filler(40, 0x79);
  out.U32(static_cast<std::uint32_t>(CountOf(hardpoint.pointCount, hardpoint.points)));
  for (const auto& point : hardpoint.points) out.Floats(point);
}

}  // namespace

MshMesh MeshOf(const std::string& textureName, std::uint32_t firstVertex,
               std::uint32_t vertexCount, std::uint32_t firstIndex, std::uint32_t triangleCount) {
  MshMesh mesh;
  mesh.textureName = textureName;
  mesh.firstVertex = firstVertex;
  mesh.vertexCount = vertexCount;
  mesh.firstIndex = firstIndex;
  mesh.triangleCount = triangleCount;
  return mesh;
}

MshLevel LevelOf(float red, std::vector<MshMesh> meshes, std::uint32_t block28Count,
                 std::uint32_t block2Count) {
  MshLevel level;
  level.red = red;
  level.meshes = std::move(meshes);
  level.block28Count = block28Count;
  level.block2Count = block2Count;
  return level;
}

std::vector<std::uint8_t> WriteMsh(const MshFile& file) {
  std::vector<std::uint8_t> bytes;
  Out out(bytes);
  out.Filler(16, 0x10);
  out.U32(CountOf(file.vertexCount, file.vertices));
  out.U32(CountOf(file.indexCount, file.indices));
  out.U16(CountOf(file.groupCount, file.groups));
  out.Filler(3, 0x26);

  for (const MshVertex& vertex : file.vertices) {
    out.Floats(vertex.position);
    out.Floats(vertex.normal);
    out.Floats(vertex.texCoords);
    out.Filler(24, 0x32);
  }
  for (std::uint16_t index : file.indices) out.U16(index);

  for (const MshGroup& group : file.groups) {
    out.Filler(2, 0x40);
    out.U16(CountOf(group.detailLevelCount, group.levels));
    out.U16(group.block12Count);
    out.U16(group.block4Count);
    out.U16(group.block19Count);
    out.U16(CountOf(group.hardpointCount, group.hardpoints));
    for (const MshLevel& level : group.levels) {
      out.F32(level.red);
      out.U16(CountOf(level.meshCount, level.meshes));
      out.U32(level.block28Count);
      out.U32(level.block2Count);
      for (const MshMesh& mesh : level.meshes) WriteMesh(out, mesh);
      out.Filler(28 * std::size_t{level.block28Count} + 2 * std::size_t{level.block2Count}, 0x5A);
    }
    out.Filler(12 * std::size_t{group.block12Count} + 4 * std::size_t{group.block4Count} +
                   19 * std::size_t{group.block19Count},
               0x6B);
    for (const MshHardpoint& hardpoint : group.hardpoints) WriteHardpoint(out, hardpoint);
  }
  bytes.insert(bytes.end(), file.trailer.begin(), file.trailer.end());
  return bytes;
}

bool SaveMsh(const std::vector<std::uint8_t>& bytes, const std::string& path) {
  std::ofstream stream(path, std::ios::binary | std::ios::trunc);
  stream.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(stream.flush());
}
