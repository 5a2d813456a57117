// The records of a mesh file, byte for byte: little-endian, packed, each read
// with one copy out of the FileBuffer and then taken apart field by field.
//
// Order of a file:
//   FileHeader
//   VertexPool   vertexCount x VertexRecord
//   IndexPool    indexCount x uint16 (indices into the VertexPool)
//   groupCount x group:
//     GroupRecord
//     detailLevelCount x { DetailLevelRecord, meshCount x MeshRecord,
//                          28 * block28Count + 2 * block2Count bytes }
//     12 * block12Count + 4 * block4Count + 19 * block19Count bytes
//     hardpointCount x { HardpointRecord, pointCount x HardpointPoint }
// Bytes after the last group are not read.
#ifndef QM_MESHFILE_MESHRECORDS_H
#define QM_MESHFILE_MESHRECORDS_H

#include <cstddef>
#include <cstdint>

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
#  error "the records are taken apart in place, which needs a little-endian machine"
#endif

#pragma pack(push, 1)

struct FileHeader {
  std::uint8_t unused0[16];
  std::uint32_t vertexCount;  // VertexRecords in the VertexPool
  std::uint32_t indexCount;   // uint16 entries in the IndexPool
  std::uint16_t groupCount;
  std::uint8_t unused26[3];
};

// Only floats up front, so the record is naturally aligned and the import can
// hand the host pointers into the pool.
struct VertexRecord {
  float position[3];
  float normal[3];
  float texCoords[2];
  std::uint8_t unused32[24];
};

struct GroupRecord {
  std::uint16_t unused0;
  std::uint16_t detailLevelCount;
  std::uint16_t block12Count;  // elements of the group's trailing block
  std::uint16_t block4Count;
  std::uint16_t block19Count;
  std::uint16_t hardpointCount;
};

struct DetailLevelRecord {
  float red;  // shown in the level mesh's name, nothing more
  std::uint16_t meshCount;
  std::uint32_t block28Count;  // elements of the level's trailing block
  std::uint32_t block2Count;
};

struct MeshRecord {
  float diffuse[4];
  float ambient[4];
  float specular[4];
  float emissive[4];
  std::uint8_t shininess[4];  // 32 bits handed to the host unchanged
  float alpha;                // transparency = 1 - alpha
  char textureName[262];      // names the material
  std::uint8_t materialFlag;  // nonzero: material name gets "@boo"
  std::uint8_t unused335[2];
  std::uint32_t firstVertex;    // VertexPool range of the mesh
  std::uint32_t vertexCount;
  std::uint32_t firstIndex;     // IndexPool entry of the first corner
  std::uint32_t triangleCount;  // three IndexPool entries each
};

struct HardpointRecord {
  char name[101];
  float diffuse[4];  // alpha also sets the transparency
  std::uint8_t shininess[4];
  std::uint8_t unused121[40];
  std::int32_t pointCount;  // HardpointPoints that follow; 0 or less: none
};

struct HardpointPoint {
  float x, y, z;
};

#pragma pack(pop)

static_assert(sizeof(FileHeader) == 29, "FileHeader is 29 bytes");
static_assert(sizeof(VertexRecord) == 56, "VertexRecord is 56 bytes");
static_assert(sizeof(GroupRecord) == 12, "GroupRecord is 12 bytes");
static_assert(sizeof(DetailLevelRecord) == 14, "DetailLevelRecord is 14 bytes");
static_assert(sizeof(MeshRecord) == 353, "MeshRecord is 353 bytes");
static_assert(sizeof(HardpointRecord) == 165, "HardpointRecord is 165 bytes");
static_assert(sizeof(HardpointPoint) == 12, "HardpointPoint is 12 bytes");
static_assert(offsetof(MeshRecord, textureName) == 72, "textureName at 72");
static_assert(offsetof(MeshRecord, firstVertex) == 337, "firstVertex at 337");
static_assert(offsetof(HardpointRecord, diffuse) == 101, "diffuse at 101");
static_assert(offsetof(HardpointRecord, pointCount) == 161, "pointCount at 161");

// Sizes of the blocks the import passes over, in 64 bits so that no count can
// wrap them.
inline std::int64_t LevelTrailingBytes(const DetailLevelRecord& level) {
  return 28 * static_cast<std::int64_t>(level.block28Count) +
         2 * static_cast<std::int64_t>(level.block2Count);
}

inline std::int64_t GroupTrailingBytes(const GroupRecord& group) {
  return 12 * static_cast<std::int64_t>(group.block12Count) +
         4 * static_cast<std::int64_t>(group.block4Count) +
         19 * static_cast<std::int64_t>(group.block19Count);
}

// Offset of the first GroupRecord.
inline std::int64_t GroupsOffset(const FileHeader& header) {
  return static_cast<std::int64_t>(sizeof(FileHeader)) +
         static_cast<std::int64_t>(sizeof(VertexRecord)) * header.vertexCount +
         2 * static_cast<std::int64_t>(header.indexCount);
}

#endif  // QM_MESHFILE_MESHRECORDS_H
