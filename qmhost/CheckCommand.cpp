// `qmhost check`: walks each file as the import does, into a model that keeps
// nothing, and lists every finding with its byte offset and its record:
//
//   ship.msh: byte 291, group 0, level 1, mesh 2 (mesh record): error: ...
//   ship.msh: model: 24 meshes, 9 materials, 1234 vertices, 2345 triangles, about 96 KB
//   ship.msh: 1 error, 0 notes (2 groups, 4 detail levels, 12 meshes, 7 hardpoints, 13812 bytes)
//
// Errors are what the import stops at or cuts (its one message names the
// first); notes are what a sound file may hold. The findings are the result,
// on standard output; a file that can't be read is a failure, on standard
// error.
#include <algorithm>
#include <iostream>
#include <memory>
#include <new>

#include <CLI/CLI.hpp>

#include "CommandOptions.h"
#include "Commands.h"
#include "ExitCodes.h"
#include "FileBuffer.h"
#include "ImportMeshFile.h"
#include "InputFiles.h"
#include "Messages.h"
#include "ShownText.h"

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

// Checks the file and prints its findings to standard output; false when it
// has an error or can't be read.
bool CheckFile(const std::string& path, std::ostream& out) {
  std::string problem;
  std::unique_ptr<TemporaryFile> standardInput;
  if (path == "-") standardInput = KeepStandardInput(problem);
  const std::string read = standardInput ? standardInput->Path() : path;
  FileBuffer myfile(read.c_str());
  if (myfile.data == nullptr) {
    // FileBuffer does not say why.
    if (problem.empty() && path != "-") problem = InputProblem(path);
    Error(FileLine(path, problem.empty() ? "cannot read the file" : problem));
    return false;
  }
  const std::string shown = ShownPath(InputName(path));
  ImportReport check;
  try {
    check = CheckMeshFile(myfile);
  } catch (const std::bad_alloc&) {
    Error(FileLine(path, "not enough memory to check the file"));
    return false;
  }
  for (const Finding& finding : check.Kept()) {
    out << shown << ": " << DescribePlace(finding.place) << ": "
        << (IsNote(finding.kind) ? "note: " : "error: ") << DescribeFinding(finding) << '\n';
  }
  for (int kind = 0; kind < kFindingKinds; ++kind) {
    const FindingKind which = static_cast<FindingKind>(kind);
    const std::int64_t listed =
        std::count_if(check.Kept().begin(), check.Kept().end(),
                      [&](const Finding& finding) { return finding.kind == which; });
    if (check.Count(which) > listed) {
      out << shown << ": " << check.Count(which) - listed << " more " << KindName(which)
          << " not listed\n";
    }
  }
  out << shown << ": model: " << DescribeModelSize(check.model) << '\n';
  const WalkedRecords& records = check.records;
  out << shown << ": "
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

int RunCheck(const std::vector<std::string>& files) {
  bool clean = true;
  for (const std::string& path : files) clean = CheckFile(path, std::cout) && clean;
  return clean ? kExitClean : kExitFailure;
}

}  // namespace

Command AddCheckCommand(CLI::App& app) {
  auto files = std::make_shared<std::vector<std::string>>();
  CLI::App* command = app.add_subcommand("check", "List what is wrong with .msh files, and where");
  command->footer(
      "Walks each file as the import does, into a model that keeps nothing, and lists every\n"
      "finding with its byte offset and record, the size of the model the file describes, and\n"
      "a count. Errors are what the import stops at or cuts; notes are what a sound file may\n"
      "hold (bytes after the last group, a cut name).\n\n"
      "Exit status: 0 every file without errors; 1 otherwise; 2 usage error.");
  command->add_option("FILE", *files, "The .msh files to check; - reads standard input")
      ->required();
  return {command, [files] { return RunCheck(*files); }};
}
