#include "CheckCommand.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <ostream>

#include "FileBuffer.h"
#include "ImportCommand.h"
#include "ImportMeshFile.h"
#include "InputFiles.h"

namespace {

// The findings a kind stands for, for the line that counts those not listed.
const char* KindName(FindingKind kind) {
  switch (kind) {
    case FindingKind::Truncated: return "truncated records";
    case FindingKind::VertexRangeOutside: return "vertex ranges outside the pool";
    case FindingKind::IndexRangeOutside: return "index ranges outside the pool";
    case FindingKind::CornerOutsideMesh: return "meshes with corners outside their vertices";
    case FindingKind::MarkerBeyond16Bit: return "markers past 16-bit indices";
    case FindingKind::NameCut: return "notes on cut names";
    case FindingKind::NamesMerged: return "notes on names merged by the cut";
    case FindingKind::UnreachableVertices: return "notes on unreachable vertices";
    case FindingKind::BytesAfterEnd: return "notes on bytes after the last group";
    case FindingKind::ModelFarLarger: return "notes on the model's size";
  }
  return "findings";
}

std::string Count(std::int64_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

// Why a file can't be read, as FileBuffer does not say.
std::string UnreadableReason(const std::string& path) {
  const std::string problem = InputProblem(path);
  return problem.empty() ? "it cannot be read" : problem;
}

bool CheckFile(const std::string& path, std::ostream& out) {
  FileBuffer myfile(path.c_str());
  if (myfile.data == nullptr) {
    out << path << ": error: cannot read the file: " << UnreadableReason(path) << '\n';
    return false;
  }
  ImportReport check;
  try {
    check = CheckMeshFile(myfile);
  } catch (const std::bad_alloc&) {
    out << path << ": error: not enough memory to check the file\n";
    return false;
  }
  for (const Finding& finding : check.Kept()) {
    out << path << ": " << DescribePlace(finding.place) << ": "
        << (IsNote(finding.kind) ? "note: " : "error: ") << DescribeFinding(finding) << '\n';
  }
  for (int kind = 0; kind < kFindingKinds; ++kind) {
    const FindingKind which = static_cast<FindingKind>(kind);
    const std::int64_t listed =
        std::count_if(check.Kept().begin(), check.Kept().end(),
                      [&](const Finding& finding) { return finding.kind == which; });
    if (check.Count(which) > listed) {
      out << path << ": " << check.Count(which) - listed << " more " << KindName(which)
          << " not listed\n";
    }
  }
  out << path << ": model: " << DescribeModelSize(check.model) << '\n';
  const WalkedRecords& records = check.records;
  out << path << ": "
      << (check.Errors() == 0 && check.Notes() == 0
              ? std::string("clean")
              : Count(check.Errors(), "error", "errors") + ", " +
                    Count(check.Notes(), "note", "notes"))
      << " (" << Count(records.groups, "group", "groups") << ", "
      << Count(records.levels, "detail level", "detail levels") << ", "
      << Count(records.meshes, "mesh", "meshes") << ", "
      << Count(records.hardpoints, "hardpoint", "hardpoints") << ", "
      << Count(myfile.size, "byte", "bytes") << ")\n";
  return check.Errors() == 0;
}

}  // namespace

int RunCheckCommand(const std::vector<std::string>& files, std::ostream& out) {
  bool clean = true;
  for (const std::string& path : files) clean = CheckFile(path, out) && clean;
  return clean ? kExitClean : kExitMessage;
}
