// What the walk of a file met, kept as values: each finding has a kind, the
// place in the file (record, byte offset, group, level, mesh, hardpoint), a
// count and the numbers that describe it. Errors are what stop or cut the
// import; the first of them becomes the user's one message. Notes are what a
// sound file may hold but a user should know; they never open a message box.
#ifndef QM_IMPORT_IMPORTREPORT_H
#define QM_IMPORT_IMPORTREPORT_H

#include <cstdint>
#include <string>
#include <vector>

#include "NameScheme.h"

enum class FindingKind {
  // Errors.
  Truncated,           // the file ends inside a record, a pool or a block: the walk stopped there
  VertexRangeOutside,  // a mesh's vertex range leaves the vertex pool: cut at the pool's end
  IndexRangeOutside,   // a mesh's triangles leave the index pool: cut at the pool's end
  CornerOutsideMesh,   // triangles with a corner outside their mesh's vertices: left out
  MarkerBeyond16Bit,   // a marker's triangles past 16-bit vertex indices: left out
  // Notes.
  NameCut,              // a name longer than the host's 31 characters: cut
  NamesMerged,          // a material or marker shared because names agree in their first 31 characters
  UnreachableVertices,  // vertices that no 16-bit triangle index reaches
  BytesAfterEnd,        // bytes after the last group, which nothing reads
  ModelFarLarger,       // the model the file describes is far larger than any honest file's
};
constexpr int kFindingKinds = 10;

bool IsNote(FindingKind kind);

// Where a finding lies: the record and its numbers in the file, -1 where a
// number does not apply.
struct ImportPlace {
  const char* record = "header";  // e.g. "mesh record", "vertex pool"
  std::int64_t offset = 0;        // byte offset of the record in the file
  int group = -1;
  int level = -1;
  int mesh = -1;
  int hardpoint = -1;
};

// "byte 1234, group 0, level 1, mesh 2 (mesh record)".
std::string DescribePlace(const ImportPlace& place);

struct Finding {
  FindingKind kind = FindingKind::Truncated;
  ImportPlace place;
  // What the finding counts: bytes needed (Truncated), vertices or triangles
  // left out, the whole length of a cut name, bytes after the end, ...
  std::int64_t count = 0;
  // Further numbers, by kind (see Describe in ImportReport.cpp).
  std::int64_t values[5] = {0, 0, 0, 0, 0};
  // The name concerned, as the host has it (NameCut, NamesMerged, markers).
  HostName name = {};
};

// What the finding says, as a clause: "the vertex range 4 to 8 leaves the
// vertex pool of 6 vertices; 3 vertices were left out".
std::string DescribeFinding(const Finding& finding);

// The model a walk built, or would build: the import's counts equal the
// host model's when the model started empty.
struct ModelSize {
  std::int64_t meshes = 0;
  std::int64_t materials = 0;
  std::int64_t vertices = 0;
  std::int64_t normals = 0;
  std::int64_t triangles = 0;
};

// The model's bare data as a host holds it: a vertex's position, texture
// coordinates and bone (24 bytes), a normal (12), a triangle's vertex and
// normal indices (12), a mesh's name and material (36), a material's name
// and fields (104).
std::int64_t EstimatedModelBytes(const ModelSize& size);

// "24 meshes, 9 materials, 1234 vertices, 2345 triangles, about 96 KB".
std::string DescribeModelSize(const ModelSize& size);

// Records the walk passed over.
struct WalkedRecords {
  std::int64_t groups = 0;
  std::int64_t levels = 0;
  std::int64_t meshes = 0;
  std::int64_t hardpoints = 0;
};

class ImportReport {
 public:
  // Keeps the first `keepPerKind` findings of each kind (the import keeps
  // none: it needs only the first error and the counts).
  explicit ImportReport(int keepPerKind = 0) : keepPerKind_(keepPerKind) {}

  void Add(const Finding& finding);

  bool Ok() const { return errors_ == 0; }
  // True when the walk stopped before the end of the file's layout.
  bool Stopped() const { return stopped_; }
  // Errors, held at INT32_MAX.
  int ProblemCount() const { return errors_; }
  const Finding& First() const { return first_; }  // the first error

  std::int64_t Count(FindingKind kind) const { return counts_[static_cast<int>(kind)]; }
  std::int64_t Errors() const;
  std::int64_t Notes() const;
  // The findings kept, in file order.
  const std::vector<Finding>& Kept() const { return kept_; }

  // One message for the user: the first error, where it is, what the model
  // holds, and how many more errors there were. Empty when there was none.
  std::string Message() const;

  ModelSize model;
  WalkedRecords records;

 private:
  Finding first_;
  int errors_ = 0;
  bool stopped_ = false;
  int keepPerKind_ = 0;
  std::int64_t counts_[kFindingKinds] = {};
  std::vector<Finding> kept_;
};

#endif  // QM_IMPORT_IMPORTREPORT_H
