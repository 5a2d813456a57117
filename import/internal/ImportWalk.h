// The one walk of a mesh file, private to import/. It reads the records front
// to back, checks every count and range against what the file holds, forms
// the host names, records every finding in an ImportReport, and hands what it
// reads to a builder chosen at compile time:
//
//   HostModelBuilder   builds the host model through qmModelLib (the import)
//   CountingBuilder    keeps nothing but the names it must tell apart (check)
//
// A builder supplies, with these signatures (see HostModelBuilder.h):
//   static constexpr bool kKeepsVertices;     whether the vertex pool is read or passed over
//   void Empty(); void SetFrames();
//   Mesh AddMesh(); void NameMesh(Mesh, const char*);
//   Mesh FindOrAddMarkerMesh(const char*, bool& added);
//   Material FindOrAddMaterial(Mesh, const char*, bool& added);
//   void SetMeshMaterial(Material, const MeshRecord&);
//   void SetMarkerMaterial(Material, const HardpointRecord&);
//   void AddVertices(Mesh, const VertexRecord* from, const VertexRecord* to);
//   void AddTriangle(Mesh, const std::uint16_t (&corners)[4]);
//   int AddMarkerVertex(Mesh, const float* position);
//   void AddMarkerTriangle(Mesh, const std::uint16_t (&corners)[3]);
// Everything the walk decides (what is read, cut, left out, how names are
// formed, what is found) is the same for every builder, so the import and
// check agree by construction.
#ifndef QM_IMPORT_IMPORTWALK_H
#define QM_IMPORT_IMPORTWALK_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_map>

#include "FileBuffer.h"
#include "ImportReport.h"
#include "MeshRecords.h"
#include "NameScheme.h"

// Scratch storage of one walk, shared by the mesh and the marker steps: one
// record of each kind, overwritten by every read of that kind, and the 32-byte
// buffer in which every mesh and material name is formed.
struct ImportScratch {
  FileHeader header;
  GroupRecord group;
  DetailLevelRecord level;
  MeshRecord mesh;
  HardpointRecord hardpoint;
  HardpointPoint vectors;
  HostName name;
};

// A pool read whole from the file. Its memory is left unset until the read
// fills it: a vector would first zero the whole pool for nothing. A pool that
// is passed over keeps its size and no memory.
template <typename T>
class Pool {
 public:
  void Allocate(std::uint32_t count) {
    elements_.reset(new T[count]);
    size_ = count;
  }
  void PassOver(std::uint32_t count) {
    elements_.reset();
    size_ = count;
  }
  T* data() const { return elements_.get(); }
  std::size_t size() const { return size_; }

 private:
  std::unique_ptr<T[]> elements_;
  std::size_t size_ = 0;
};

struct Pools {
  Pool<VertexRecord> vertices;
  Pool<std::uint16_t> indices;
  std::int64_t indexPoolOffset = 0;
};

// The host names that were cut, each with the whole name of the first object
// that got it, so that a later name which agrees only in the first 31
// characters is seen to share that object. Empty in a file whose names all
// fit: sound files pay one test per name.
class CutNames {
 public:
  bool Empty() const { return wholeByName_.empty(); }
  const std::string* Find(const char* name) const {
    const auto found = wholeByName_.find(name);
    return found == wholeByName_.end() ? nullptr : &found->second;
  }
  void Add(const char* name, std::string whole) { wholeByName_.emplace(name, std::move(whole)); }

 private:
  std::unordered_map<std::string, std::string> wholeByName_;
};

// The model's size beyond which a file is far larger than any honest one: an
// honest file spends 56 bytes a vertex and 6 a triangle, and even a file of
// nothing but "blink" markers makes 7 bytes of model for a byte of file; mesh
// records that share pool ranges can make a thousand.
constexpr std::int64_t kFarLargerRatio = 32;

template <typename Builder>
struct ImportWalk {
  ImportWalk(FileBuffer& file, Builder& modelBuilder, ImportReport& findings)
      : myfile(file), builder(modelBuilder), report(findings) {}

  FileBuffer& myfile;
  Builder& builder;
  ImportReport& report;
  ImportScratch scratch{};
  Pools pools;
  CutNames cutNames;
};

// The whole walk: header, pools, groups (detail levels, mesh records, then
// the group's hardpoints), and the notes on the end of the file and on the
// model's size. A file too short for its header leaves the model untouched.
template <typename Builder>
void WalkMeshFile(ImportWalk<Builder>& walk);

// The marker step of one group: passes over the group's trailing block, then
// builds a marker mesh and material "#%s#" per hardpoint name, with one vertex
// per point and the triangles of the name's family. `myfile.pos` stands right
// after the group's last detail level; afterwards it stands where the next
// group begins. `group` is the group record's place. Returns false when the
// file ended and the walk must stop.
template <typename Builder>
bool ImportGroupHardpoints(ImportWalk<Builder>& walk, const ImportPlace& group);

// Shared by both steps.

// Length of a text field up to its NUL, never past the field's width: a file
// may leave the NUL out.
inline int FieldLength(const char* field, std::size_t width) {
  const void* nul = std::memchr(field, 0, width);
  return static_cast<int>(nul ? static_cast<const char*>(nul) - field
                              : static_cast<std::ptrdiff_t>(width));
}

inline Finding MakeFinding(FindingKind kind, const ImportPlace& place, std::int64_t count = 0,
                           std::int64_t value0 = 0, std::int64_t value1 = 0,
                           std::int64_t value2 = 0) {
  Finding finding;
  finding.kind = kind;
  finding.place = place;
  finding.count = count;
  finding.values[0] = value0;
  finding.values[1] = value1;
  finding.values[2] = value2;
  return finding;
}

// The parts of the walk that sound files never reach stay out of line, so the
// paths they do take stay small enough to be inlined.
#if defined(__GNUC__)
#  define QM_NOINLINE __attribute__((noinline))
#else
#  define QM_NOINLINE
#endif

// The walk stopped at `place`: a record or block of `needed` bytes did not fit
// in the `left` bytes from there; `announced` is the count that led there.
QM_NOINLINE inline void ReportTruncated(ImportReport& report, const ImportPlace& place, std::int64_t needed,
                            std::int64_t left, std::int64_t announced) {
  report.Add(MakeFinding(FindingKind::Truncated, place, needed, left, announced));
}

// Bytes from `pos` to the end of the file, as they were before a read that
// failed and moved `pos` past the end.
inline std::int64_t LeftFrom(const FileBuffer& myfile, std::int32_t pos) {
  return pos >= myfile.size ? 0 : static_cast<std::int64_t>(myfile.size) - pos;
}

// Reads one record at `place` (whose offset is the reader's position). On a
// short file the walk stops there: the finding says how many bytes the record
// needs, how many were left, and how many records the count that led here
// announced (-1 for none).
template <typename Record>
bool ReadRecord(FileBuffer& myfile, Record& record, ImportReport& report, const ImportPlace& place,
                std::int64_t announced) {
  const std::int32_t from = myfile.pos;
  if (BufferRead(&record, static_cast<int>(sizeof(Record)), 1, &myfile)) return true;
  ReportTruncated(report, place, static_cast<std::int64_t>(sizeof(Record)), LeftFrom(myfile, from),
                  announced);
  return false;
}

// ReadRecord of the record `name` that starts at the reader's position, which
// `place` then names and holds.
template <typename Builder, typename Record>
bool ReadRecordHere(ImportWalk<Builder>& walk, Record& record, const char* name, ImportPlace& place,
                    std::int64_t announced) {
  place.record = name;
  place.offset = walk.myfile.pos;
  return ReadRecord(walk.myfile, record, walk.report, place, announced);
}

// A new mesh of the model, counted in the report.
template <typename Builder>
typename Builder::Mesh AddCountedMesh(ImportWalk<Builder>& walk) {
  typename Builder::Mesh mesh = walk.builder.AddMesh();
  ++walk.report.model.meshes;
  return mesh;
}

// Passes over a block of `bytes` at `place`; stops the walk where it leaves the file.
inline bool SkipBlock(FileBuffer& myfile, std::int64_t bytes, ImportReport& report,
                      const ImportPlace& place) {
  const std::int32_t from = myfile.pos;
  if (BufferSkip(&myfile, bytes)) return true;
  ReportTruncated(report, place, bytes, LeftFrom(myfile, from), -1);
  return false;
}

// NoteName's work once this name or an earlier one was cut.
template <typename FormWhole>
QM_NOINLINE void NoteCutName(ImportReport& report, CutNames& cutNames, const HostName& name,
                 const ImportPlace& place, int length, bool shared, bool found,
                 FormWhole formWhole) {
  const bool cut = length > kHostNameLength;
  std::string whole;
  if (cut) {
    formWhole(whole);
    Finding finding = MakeFinding(FindingKind::NameCut, place, length);
    std::memcpy(finding.name, name, sizeof finding.name);
    report.Add(finding);
  }
  if (!shared) return;
  if (!found) {
    if (cut) cutNames.Add(name, std::move(whole));
    return;
  }
  // Found: the object was made by the first whole name of this host name,
  // which is the host name itself unless it was cut too.
  const std::string* first = cutNames.Find(name);
  const bool merged = cut ? (first == nullptr || *first != whole) : first != nullptr;
  if (!merged) return;
  Finding finding = MakeFinding(FindingKind::NamesMerged, place, length,
                                first ? static_cast<std::int64_t>(first->size()) : kHostNameLength);
  std::memcpy(finding.name, name, sizeof finding.name);
  report.Add(finding);
}

// The notes on a name just formed in the scratch buffer, `length` characters
// whole: cut by the host, or (for materials and markers, `found` an existing
// object) merged with an object of another name that agrees in the first 31
// characters. `formWhole` writes the whole name into a buffer of length + 1.
// Sound files whose names all fit pass the first test and no further.
template <typename Builder, typename FormWhole>
void NoteName(ImportWalk<Builder>& walk, const ImportPlace& place, int length, bool shared,
              bool found, FormWhole formWhole) {
  const bool cut = length > kHostNameLength;
  if (!cut && (!shared || walk.cutNames.Empty())) return;
  NoteCutName(walk.report, walk.cutNames, walk.scratch.name, place, length, shared, found,
              [&](std::string& whole) {
                whole.resize(static_cast<std::size_t>(length));
                formWhole(&whole[0], static_cast<std::size_t>(length) + 1);
              });
}

#endif  // QM_IMPORT_IMPORTWALK_H
