// What an import found wrong with a file, kept as values and turned into one
// sentence for the user at the edge.
#ifndef QM_IMPORT_IMPORTREPORT_H
#define QM_IMPORT_IMPORTREPORT_H

#include <cstdint>
#include <string>

enum class ImportProblemKind {
  Truncated,            // the file ends inside a record, a pool or a block: the import stopped
  VertexRangeOutside,   // a mesh's vertex range leaves the vertex pool: cut at the pool's end
  IndexRangeOutside,    // a mesh's triangles leave the index pool: cut at the pool's end
  CornerOutsideMesh,    // a triangle corner lies outside its mesh's vertices: triangle left out
  MarkerBeyond16Bit,    // a marker mesh outgrew 16-bit indices: triangle left out
};

// Where a problem lies: the record and its numbers in the file, -1 where a
// number does not apply.
struct ImportPlace {
  const char* record = "header";  // e.g. "mesh record", "vertex pool"
  std::int64_t offset = 0;        // byte offset of the record in the file
  int group = -1;
  int level = -1;
  int mesh = -1;
  int hardpoint = -1;
};

struct ImportProblem {
  ImportProblemKind kind = ImportProblemKind::Truncated;
  ImportPlace place;
};

class ImportReport {
 public:
  void Add(ImportProblemKind kind, const ImportPlace& place);

  bool Ok() const { return count_ == 0; }
  // True when the import stopped before the end of the file's layout.
  bool Stopped() const { return stopped_; }
  int ProblemCount() const { return count_; }
  const ImportProblem& First() const { return first_; }

  // One message for the user: the first problem, where it is, what the model
  // holds, and how many more there were. Empty when the file was sound.
  std::string Message() const;

 private:
  ImportProblem first_;
  int count_ = 0;
  bool stopped_ = false;
};

#endif  // QM_IMPORT_IMPORTREPORT_H
