// The command line of the programs that write test files (make_sample,
// make_export_fixture, make_fuzz_seeds, make_dll_run_files): one path, and
// --help. Parsed by CLI11, so an option is never taken for the path
// (`make_sample --help` writes no file called "--help").
#ifndef QM_MSHWRITER_GENERATORCOMMANDLINE_H
#define QM_MSHWRITER_GENERATORCOMMANDLINE_H

#include <string>

#include <CLI/CLI.hpp>

// The path the line names: PATH (`pathName` in the help, e.g. "OUT.msh"),
// which `pathHelp` describes. Without one, or with --help, says what is
// wanted and gives the exit status to end with (0 for --help, 2 otherwise);
// the path is then empty.
inline std::string GeneratorPath(int argc, char** argv, const std::string& description,
                                 const std::string& pathName, const std::string& pathHelp,
                                 int& status) {
  CLI::App app{description};
  const std::string program = argv[0];
  app.name(program.substr(program.find_last_of('/') + 1));
  std::string path;
  app.add_option(pathName, path, pathHelp)->required();
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    status = app.exit(error) == 0 ? 0 : 2;
    return std::string();
  }
  status = 0;
  return path;
}

#endif  // QM_MSHWRITER_GENERATORCOMMANDLINE_H
