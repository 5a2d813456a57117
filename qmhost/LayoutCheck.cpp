#include "LayoutCheck.h"

#include <algorithm>
#include <cstddef>
#include <functional>

#include "MeshRecords.h"
#include "NameBuffer.h"

namespace {

// The host keeps names of 31 characters; the import adds "@boo" to a texture
// name with the material flag and "#...#" around a hardpoint name.
constexpr int kTextureNameLimit = 31;
constexpr int kFlaggedTextureNameLimit = 27;
constexpr int kHardpointNameLimit = 29;
// Corners are 16-bit pool entries.
constexpr std::uint64_t kReachableVertices = 65536;

// A text field as it can be shown on one line: control and non-ASCII bytes
// as '?', long texts cut.
std::string Shown(const char* field, int length) {
  std::string text;
  for (int n = 0; n < length && n < 40; ++n) {
    const unsigned char c = static_cast<unsigned char>(field[n]);
    text += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
  }
  if (length > 40) text += "...";
  return "\"" + text + "\"";
}

std::string Bytes(std::int64_t count) {
  return std::to_string(count) + (count == 1 ? " byte" : " bytes");
}

class LayoutWalker {
 public:
  LayoutWalker(FileBuffer& myfile, LayoutCheck& check, int perKindLimit)
      : file_(myfile), check_(check), limit_(perKindLimit) {}

  void Walk() {
    if (!ReadRecord(&header_, sizeof header_, Place("header", -1, -1, -1, -1))) return;
    if (!Pools()) return;
    const ImportPlace groupCount{"header", offsetof(FileHeader, groupCount), -1, -1, -1, -1};
    if (!EnoughFor(header_.groupCount, sizeof(GroupRecord), "group", groupCount)) return;
    for (int i = 0; i < header_.groupCount; ++i) {
      if (!Group(i)) return;
    }
    if (file_.Remaining() > 0) {
      Add(FindingKind::BytesAfterEnd, Place("end of the last group", -1, -1, -1, -1), [&] {
        return Bytes(file_.Remaining()) + " after the last group, which the import does not read";
      });
    }
  }

 private:
  // A place at the reader's position.
  ImportPlace Place(const char* record, int group, int level, int mesh, int hardpoint) const {
    return ImportPlace{record, file_.pos, group, level, mesh, hardpoint};
  }

  void Add(FindingKind kind, const ImportPlace& place, const std::function<std::string()>& text) {
    std::int64_t& count = check_.counts[static_cast<int>(kind)];
    if (++count <= limit_) check_.findings.push_back(LayoutFinding{kind, place, text()});
  }

  bool ReadRecord(void* record, std::size_t size, const ImportPlace& place) {
    const std::int64_t left = file_.Remaining();
    if (BufferRead(record, static_cast<int>(size), 1, &file_)) return true;
    Add(FindingKind::Truncated, place, [&] {
      return "the file ends inside the " + std::string(place.record) + ": it needs " +
             Bytes(static_cast<std::int64_t>(size)) + ", " + Bytes(left) + " remain";
    });
    return false;
  }

  // Whether `count` records of `size` bytes can still follow, at the least.
  bool EnoughFor(std::int64_t count, std::size_t size, const char* what,
                 const ImportPlace& countPlace) {
    const std::int64_t needed = count * static_cast<std::int64_t>(size);
    const std::int64_t left = file_.Remaining();
    if (needed <= left) return true;
    Add(FindingKind::CountPastEnd, countPlace, [&] {
      return "the count of " + std::to_string(count) + " " + what + " records needs at least " +
             Bytes(needed) + ", " + Bytes(left) + " remain";
    });
    return false;
  }

  // Passes over a block of `bytes` whose size the counts at `countPlace` set.
  bool SkipBlock(std::int64_t bytes, const std::string& what, const ImportPlace& countPlace) {
    const std::int64_t left = file_.Remaining();
    if (bytes <= left) return BufferSkip(&file_, bytes);
    Add(FindingKind::CountPastEnd, countPlace, [&] {
      return what + " of " + Bytes(bytes) + " runs " + Bytes(bytes - left) +
             " past the end of the file";
    });
    return false;
  }

  bool Pools() {
    const std::int64_t vertexBytes =
        static_cast<std::int64_t>(sizeof(VertexRecord)) * header_.vertexCount;
    const std::string vertexPool =
        "the vertex pool of " + std::to_string(header_.vertexCount) + " vertices";
    if (!SkipBlock(vertexBytes, vertexPool, Place("vertex pool", -1, -1, -1, -1))) return false;

    indexPoolAt_ = file_.pos;
    const std::int64_t indexBytes = 2 * static_cast<std::int64_t>(header_.indexCount);
    if (indexBytes > file_.Remaining()) {
      return SkipBlock(indexBytes,
                       "the index pool of " + std::to_string(header_.indexCount) + " entries",
                       Place("index pool", -1, -1, -1, -1));
    }
    indices_.resize(header_.indexCount);
    return BufferRead(indices_.data(), 2, static_cast<int>(header_.indexCount), &file_);
  }

  bool Group(int i) {
    const ImportPlace place = Place("group record", i, -1, -1, -1);
    GroupRecord group;
    if (!ReadRecord(&group, sizeof group, place)) return false;
    ++check_.groups;
    ImportPlace counts = place;
    counts.offset = place.offset + offsetof(GroupRecord, detailLevelCount);
    if (!EnoughFor(group.detailLevelCount, sizeof(DetailLevelRecord), "detail level", counts))
      return false;
    for (int j = 0; j < group.detailLevelCount; ++j) {
      if (!Level(i, j)) return false;
    }
    counts.offset = place.offset + offsetof(GroupRecord, block12Count);
    if (!SkipBlock(GroupTrailingBytes(group), "the group's trailing block", counts)) return false;
    counts.offset = place.offset + offsetof(GroupRecord, hardpointCount);
    if (!EnoughFor(group.hardpointCount, sizeof(HardpointRecord), "hardpoint", counts))
      return false;
    for (int h = 0; h < group.hardpointCount; ++h) {
      if (!Hardpoint(i, h)) return false;
    }
    return true;
  }

  bool Level(int i, int j) {
    const ImportPlace place = Place("detail level record", i, j, -1, -1);
    DetailLevelRecord level;
    if (!ReadRecord(&level, sizeof level, place)) return false;
    ++check_.levels;
    ImportPlace counts = place;
    counts.offset = place.offset + offsetof(DetailLevelRecord, meshCount);
    if (!EnoughFor(level.meshCount, sizeof(MeshRecord), "mesh", counts)) return false;
    for (int k = 0; k < level.meshCount; ++k) {
      if (!Mesh(i, j, k)) return false;
    }
    counts.offset = place.offset + offsetof(DetailLevelRecord, block28Count);
    return SkipBlock(LevelTrailingBytes(level), "the level's trailing block", counts);
  }

  bool Mesh(int i, int j, int k) {
    const ImportPlace place = Place("mesh record", i, j, k, -1);
    MeshRecord mesh;
    if (!ReadRecord(&mesh, sizeof mesh, place)) return false;
    ++check_.meshes;
    ImportPlace field = place;
    field.offset = place.offset + offsetof(MeshRecord, textureName);
    CheckName(mesh.textureName, sizeof mesh.textureName, "texture name",
              mesh.materialFlag != 0 ? kFlaggedTextureNameLimit : kTextureNameLimit,
              mesh.materialFlag != 0 ? " with the \"@boo\" the material flag adds" : "", field);

    const std::uint64_t first = mesh.firstVertex;
    const std::uint64_t end = first + mesh.vertexCount;
    field.offset = place.offset + offsetof(MeshRecord, firstVertex);
    if (end > header_.vertexCount) {
      Add(FindingKind::VertexRangeOutside, field, [&] {
        return "the vertex range " + Range(first, end) + " leaves the vertex pool of " +
               std::to_string(header_.vertexCount) + " vertices";
      });
    }
    const std::uint64_t poolEnd = std::min<std::uint64_t>(end, header_.vertexCount);
    if (poolEnd > kReachableVertices) {
      const std::uint64_t unreachable = poolEnd - std::max(first, kReachableVertices);
      Add(FindingKind::UnreachableVertices, field, [&] {
        return std::to_string(unreachable) + " of the mesh's vertices lie past pool entry 65535 "
               "(the range is " + Range(first, end) + "), where no 16-bit corner reaches them";
      });
    }

    const std::uint64_t firstIndex = mesh.firstIndex;
    const std::uint64_t available =
        firstIndex <= indices_.size() ? (indices_.size() - firstIndex) / 3 : 0;
    field.offset = place.offset + offsetof(MeshRecord, firstIndex);
    if (mesh.triangleCount > available) {
      Add(FindingKind::IndexRangeOutside, field, [&] {
        return "the " + std::to_string(mesh.triangleCount) + " triangles from index pool entry " +
               std::to_string(firstIndex) + " leave the index pool of " +
               std::to_string(indices_.size()) + " entries";
      });
    }
    CheckCorners(first, end, firstIndex, std::min<std::uint64_t>(mesh.triangleCount, available),
                 place);
    return true;
  }

  // One finding for all the mesh's corners outside its vertex range, at the
  // first of them.
  void CheckCorners(std::uint64_t first, std::uint64_t end, std::uint64_t firstIndex,
                    std::uint64_t triangles, const ImportPlace& mesh) {
    std::uint64_t outside = 0, firstOutside = 0;
    for (std::uint64_t e = firstIndex; e < firstIndex + 3 * triangles; ++e) {
      const std::uint64_t corner = indices_[static_cast<std::size_t>(e)];
      if (corner >= first && corner < end) continue;
      if (outside++ == 0) firstOutside = e;
    }
    if (outside == 0) return;
    ImportPlace place{"index pool entry", indexPoolAt_ + 2 * static_cast<std::int64_t>(firstOutside),
                      mesh.group, mesh.level, mesh.mesh, -1};
    Add(FindingKind::CornerOutsideMesh, place, [&] {
      return std::to_string(outside) + " of the mesh's " + std::to_string(3 * triangles) +
             " triangle corners " + (outside == 1 ? "lies" : "lie") +
             " outside its vertex range " + Range(first, end) +
             "; the first is entry " + std::to_string(firstOutside) + ", vertex " +
             std::to_string(indices_[static_cast<std::size_t>(firstOutside)]);
    });
  }

  bool Hardpoint(int i, int h) {
    const ImportPlace place = Place("hardpoint record", i, -1, -1, h);
    HardpointRecord hardpoint;
    if (!ReadRecord(&hardpoint, sizeof hardpoint, place)) return false;
    ++check_.hardpoints;
    CheckName(hardpoint.name, sizeof hardpoint.name, "hardpoint name", kHardpointNameLimit,
              " with the \"#\" marks around it", place);
    if (hardpoint.pointCount <= 0) return true;
    ImportPlace count = place;
    count.offset = place.offset + offsetof(HardpointRecord, pointCount);
    return SkipBlock(12 * static_cast<std::int64_t>(hardpoint.pointCount),
                     "the hardpoint's " + std::to_string(hardpoint.pointCount) + " points",
                     count);
  }

  void CheckName(const char* field, std::size_t width, const char* what, int limit,
                 const char* why, const ImportPlace& place) {
    const int length = FieldLength(field, width);
    if (static_cast<std::size_t>(length) == width) {
      Add(FindingKind::TextWithoutNul, place, [&] {
        return std::string("the ") + what + " fills its " + Bytes(static_cast<std::int64_t>(width)) +
               " with no NUL";
      });
    }
    if (length > limit) {
      Add(FindingKind::NameTooLong, place, [&] {
        return std::string("the ") + what + " " + Shown(field, length) + " has " +
               std::to_string(length) + " characters; the host's names hold " +
               std::to_string(limit) + why + ", so it is cut";
      });
    }
  }

  static std::string Range(std::uint64_t first, std::uint64_t end) {
    if (end == first) return "(empty, from " + std::to_string(first) + ")";
    return std::to_string(first) + " to " + std::to_string(end - 1);
  }

  FileBuffer& file_;
  LayoutCheck& check_;
  int limit_;
  FileHeader header_{};
  std::int64_t indexPoolAt_ = 0;
  std::vector<std::uint16_t> indices_;
};

}  // namespace

bool IsNote(FindingKind kind) { return kind == FindingKind::BytesAfterEnd; }

std::int64_t LayoutCheck::Errors() const {
  std::int64_t errors = 0;
  for (int kind = 0; kind < kFindingKinds; ++kind)
    if (!IsNote(static_cast<FindingKind>(kind))) errors += counts[kind];
  return errors;
}

std::int64_t LayoutCheck::Notes() const {
  return counts[static_cast<int>(FindingKind::BytesAfterEnd)];
}

LayoutCheck CheckLayout(FileBuffer& myfile, int perKindLimit) {
  LayoutCheck check;
  if (myfile.data == nullptr) return check;
  LayoutWalker(myfile, check, perKindLimit).Walk();
  return check;
}

std::string DescribePlace(const ImportPlace& place) {
  std::string text = "byte " + std::to_string(place.offset);
  if (place.group >= 0) text += ", group " + std::to_string(place.group);
  if (place.level >= 0) text += ", level " + std::to_string(place.level);
  if (place.mesh >= 0) text += ", mesh " + std::to_string(place.mesh);
  if (place.hardpoint >= 0) text += ", hardpoint " + std::to_string(place.hardpoint);
  return text + " (" + place.record + ")";
}
