#include "CheckCommand.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ostream>

#include "FileBuffer.h"
#include "ImportCommand.h"
#include "InputFiles.h"
#include "LayoutCheck.h"

namespace {

// The findings a kind stands for, for the line that counts those not listed.
const char* KindName(FindingKind kind) {
  switch (kind) {
    case FindingKind::Truncated: return "truncated records";
    case FindingKind::CountPastEnd: return "counts past the end";
    case FindingKind::VertexRangeOutside: return "vertex ranges outside the pool";
    case FindingKind::IndexRangeOutside: return "index ranges outside the pool";
    case FindingKind::CornerOutsideMesh: return "meshes with corners outside their vertices";
    case FindingKind::UnreachableVertices: return "meshes with unreachable vertices";
    case FindingKind::TextWithoutNul: return "text fields without a NUL";
    case FindingKind::NameTooLong: return "names too long for the host";
    case FindingKind::BytesAfterEnd: return "notes on bytes after the last group";
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
  const LayoutCheck check = CheckLayout(myfile);
  for (const LayoutFinding& finding : check.findings) {
    out << path << ": " << DescribePlace(finding.place) << ": "
        << (IsNote(finding.kind) ? "note: " : "error: ") << finding.text << '\n';
  }
  for (int kind = 0; kind < kFindingKinds; ++kind) {
    const std::int64_t listed = std::count_if(
        check.findings.begin(), check.findings.end(),
        [&](const LayoutFinding& finding) { return static_cast<int>(finding.kind) == kind; });
    if (check.counts[kind] > listed) {
      out << path << ": " << check.counts[kind] - listed << " more "
          << KindName(static_cast<FindingKind>(kind)) << " not listed\n";
    }
  }
  out << path << ": "
      << (check.Errors() == 0 && check.Notes() == 0
              ? std::string("clean")
              : Count(check.Errors(), "error", "errors") + ", " +
                    Count(check.Notes(), "note", "notes"))
      << " (" << Count(check.groups, "group", "groups") << ", "
      << Count(check.levels, "detail level", "detail levels") << ", "
      << Count(check.meshes, "mesh", "meshes") << ", "
      << Count(check.hardpoints, "hardpoint", "hardpoints") << ", "
      << Count(myfile.size, "byte", "bytes") << ")\n";
  return check.Errors() == 0;
}

}  // namespace

int RunCheckCommand(const std::vector<std::string>& files, std::ostream& out) {
  bool clean = true;
  for (const std::string& path : files) clean = CheckFile(path, out) && clean;
  return clean ? kExitClean : kExitMessage;
}
