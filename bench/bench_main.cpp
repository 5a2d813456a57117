// qm_bench: the import against the floor and against the loaders a user would
// otherwise pick, all measured in one run so that the ratios hold on a noisy
// machine.
//
//   build-bench/qm_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
//   build-bench/qm_bench --small          one pass on small files (CI smoke)
//   build-bench/qm_bench --files=DIR      keeps the inputs in DIR (for profiling)
//
// Per file (see BenchFiles.h):
//   floor             reading the file into memory, then allocating and filling
//                     a block as large as the model's data (ModelPayloadBytes)
//   import            the file, already in memory, through ImportMeshFile into
//                     the stand-in model
//   run               the whole Run: the dialog (answered), loading the file,
//                     the import
//   host_calls        (big) the import's number of calls into the host's
//                     library, each to its simplest setter: the floor of the
//                     interface itself
//   save_json, save_glb   the imported model saved as qmhost saves it
//   assimp_load_glb, tinygltf_load_glb   (big) our .glb of the same geometry,
//                     read by Assimp (ReadFile, no post-processing) and by
//                     tinygltf (LoadBinaryFromFile)
//   peak_memory       one Run in a fresh process (qm_bench_peak): heap bytes
//                     counted by a malloc wrapper, and the resident set
//
// Every operation also frees what it built the time before (the host's model
// is emptied by the next import; the loaders free their scenes), in a heap
// that keeps what it freed (see main). The table shows wall and CPU time;
// after it comes a summary of the targets from the fastest repetition (CPU
// time) of each benchmark in this run. Nothing is asserted: the program ends with 0 once the
// benchmarks ran.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <assimp/Importer.hpp>
#include <climits>
#include <assimp/scene.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <tiny_gltf.h>
#include <vector>

#include "BenchFiles.h"
#include "BenchSupport.h"
#include "HostDialogs.h"
#include "Export.h"
#include "FileBuffer.h"
#include "ImportMeshFile.h"
#include "MeshImportPlugIn.h"
#include "ModelJson.h"
#include "ModelStructure.h"
#include "MshWriter.h"
#include "SafeSave.h"
#include "qmModelRead.h"

namespace {

namespace fs = std::filesystem;

// The whole model, as the numbers below were taken: every detail level.
SaveSettings AllLevels() {
  SaveSettings settings;
  settings.level = SaveSettings::kAllLevels;
  return settings;
}

struct Dataset {
  std::string name;
  std::vector<std::uint8_t> bytes;
  std::string path;            // the .msh in the work folder
  std::uint64_t payload = 0;   // ModelPayloadBytes of its import
  std::string glbPath;         // big only: the imported model saved as .glb
  int vertices = 0;            // host vertices and triangles of its import
  int triangles = 0;
};

struct PeakResult {
  double file = 0, payload = 0, heapPeak = 0, heapAfter = 0, rssPeak = 0;
};

fs::path workFolder;
bool smallRun = false;
std::map<std::string, PeakResult> peaks;

int CountVertices(qmModel* model, int& triangles) {
  int vertices = 0;
  triangles = 0;
  for (int m = 0; m < qmModel_GetMeshCount(model); ++m) {
    vertices += qmMesh_GetVertexCount(qmModel_GetMeshAt(model, m));
    triangles += qmMesh_GetTriangleCount(qmModel_GetMeshAt(model, m));
  }
  return vertices;
}

void SetSizeCounters(benchmark::State& state, const Dataset& data) {
  state.counters["file_MB"] = static_cast<double>(data.bytes.size()) / 1e6;
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(data.bytes.size()));
}

void Floor(benchmark::State& state, const Dataset& data) {
  for (auto _ : state) {
    FileBuffer myfile(data.path.c_str());
    benchmark::DoNotOptimize(myfile.data);
    auto* block = static_cast<unsigned char*>(std::malloc(data.payload));
    std::memset(block, 0x5A, data.payload);
    benchmark::DoNotOptimize(block);
    benchmark::ClobberMemory();
    std::free(block);
  }
  SetSizeCounters(state, data);
  state.counters["model_MB"] = static_cast<double>(data.payload) / 1e6;
}

void Import(benchmark::State& state, const Dataset& data) {
  FileBuffer myfile(data.bytes.data(), data.bytes.size());
  qmModelPtr model(qmModel_Create());
  for (auto _ : state) {
    myfile.pos = 0;
    ImportReport report = ImportMeshFile(model.get(), myfile);
    benchmark::DoNotOptimize(report);
  }
  SetSizeCounters(state, data);
  state.counters["vertices"] = data.vertices;
}

// The calls alone: as many calls into the host's library as the import makes
// for the file (7 per vertex, 4 per triangle), each to its simplest setter.
// No implementation of the library can make the import cheaper than this.
void HostCalls(benchmark::State& state, const Dataset& data) {
  qmModelPtr model(qmModel_Create());
  qmMesh* mesh = qmModel_GetMeshAt(model.get(), qmModel_AddMesh(model.get()));
  const long long calls = 7LL * data.vertices + 4LL * data.triangles;
  for (auto _ : state) {
    for (long long n = 0; n < calls; ++n) qmMesh_SetMaterialIndex(mesh, static_cast<int>(n));
    benchmark::ClobberMemory();
  }
  state.counters["calls"] = static_cast<double>(calls);
}

void Run(benchmark::State& state, const Dataset& data) {
  qmModelPtr model(qmModel_Create());
  MeshImportPlugIn plugin;
  HostDialogs dialog(data.path);
  for (auto _ : state) benchmark::DoNotOptimize(plugin.Run(model.get()));
  if (!dialog.Messages().empty()) state.SkipWithError("the run showed a message");
  SetSizeCounters(state, data);
}

qmModelPtr Imported(const Dataset& data) {
  qmModelPtr model(qmModel_Create());
  FileBuffer myfile(data.bytes.data(), data.bytes.size());
  ImportMeshFile(model.get(), myfile);
  return model;
}

void SaveJson(benchmark::State& state, const Dataset& data) {
  qmModelPtr model = Imported(data);
  const std::string path = (workFolder / (data.name + ".json")).string();
  std::string error;
  for (auto _ : state) {
    const bool saved = SaveFile(
        path,
        [&](std::ostream& out) {
          WriteModelJson(model.get(), out);
          return true;
        },
        error);
    if (!saved) state.SkipWithError(error.c_str());
  }
  state.counters["out_MB"] = static_cast<double>(fs::file_size(path)) / 1e6;
}

void SaveGlb(benchmark::State& state, const Dataset& data) {
  qmModelPtr model = Imported(data);
  const std::string path = (workFolder / (data.name + "_save.glb")).string();
  std::string error;
  for (auto _ : state) {
    ExportNotes notes;
    if (!SaveGlb(model.get(), AllLevels(), path, notes, error)) state.SkipWithError(error.c_str());
  }
  state.counters["out_MB"] = static_cast<double>(fs::file_size(path)) / 1e6;
}

void AssimpLoad(benchmark::State& state, const Dataset& data) {
  Assimp::Importer importer;
  unsigned vertices = 0;
  for (auto _ : state) {
    const aiScene* scene = importer.ReadFile(data.glbPath, 0);
    if (scene == nullptr) {
      state.SkipWithError(importer.GetErrorString());
      break;
    }
    vertices = 0;
    for (unsigned m = 0; m < scene->mNumMeshes; ++m) vertices += scene->mMeshes[m]->mNumVertices;
    importer.FreeScene();
  }
  state.counters["vertices"] = vertices;
  state.counters["file_MB"] = static_cast<double>(fs::file_size(data.glbPath)) / 1e6;
}

void TinygltfLoad(benchmark::State& state, const Dataset& data) {
  tinygltf::TinyGLTF loader;
  size_t vertices = 0;
  for (auto _ : state) {
    tinygltf::Model gltf;
    std::string error, warning;
    if (!loader.LoadBinaryFromFile(&gltf, &error, &warning, data.glbPath)) {
      state.SkipWithError(error.c_str());
      break;
    }
    vertices = 0;
    for (const tinygltf::Mesh& mesh : gltf.meshes)
      for (const tinygltf::Primitive& primitive : mesh.primitives) {
        auto position = primitive.attributes.find("POSITION");
        if (position != primitive.attributes.end())
          vertices += gltf.accessors[static_cast<size_t>(position->second)].count;
      }
  }
  state.counters["vertices"] = static_cast<double>(vertices);
  state.counters["file_MB"] = static_cast<double>(fs::file_size(data.glbPath)) / 1e6;
}

// One Run in a fresh process, so that nothing the benchmarks freed is reused.
void PeakMemory(benchmark::State& state, const Dataset& data) {
  const fs::path probe = fs::read_symlink("/proc/self/exe").parent_path() / "qm_bench_peak";
  PeakResult result;
  for (auto _ : state) {
    const std::string command = "'" + probe.string() + "' '" + data.path + "'";
    std::FILE* pipe = popen(command.c_str(), "r");
    char line[512] = {};
    const bool read = pipe != nullptr && std::fgets(line, sizeof line, pipe) != nullptr;
    const int status = pipe != nullptr ? pclose(pipe) : -1;
    long long file = 0, payload = 0, heapPeak = 0, heapAfter = 0, rssPeak = 0;
    int messages = 0;
    if (!read || status != 0 ||
        std::sscanf(line,
                    "file=%lld payload=%lld heap_peak=%lld heap_after=%lld rss_peak=%lld "
                    "messages=%d",
                    &file, &payload, &heapPeak, &heapAfter, &rssPeak, &messages) != 6 ||
        messages != 0) {
      state.SkipWithError("qm_bench_peak failed");
      return;
    }
    result = PeakResult{static_cast<double>(file), static_cast<double>(payload),
                        static_cast<double>(heapPeak), static_cast<double>(heapAfter),
                        static_cast<double>(rssPeak)};
  }
  peaks[data.name] = result;
  state.counters["file_MB"] = result.file / 1e6;
  state.counters["model_MB"] = result.payload / 1e6;
  state.counters["heap_peak_MB"] = result.heapPeak / 1e6;
  state.counters["heap_model_MB"] = result.heapAfter / 1e6;
  state.counters["rss_peak_MB"] = result.rssPeak / 1e6;
  state.counters["limit_MB"] = (2 * result.file + result.heapAfter) / 1e6;
}

// Keeps the CPU time of every run (the thread's, kernel time included, so page
// faults count), to state the targets from the fastest repetition of each. On
// a machine shared with other work the wall time mostly measures the others,
// and even CPU time only ever grows with them (caches and memory bandwidth
// are shared too): the fastest repetition is the one they disturbed least.
class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      const double seconds =
          run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
      const std::string& name = run.run_name.function_name;
      if (run.run_type == Run::RT_Aggregate) {
        if (run.aggregate_name == "min") fastest_[name] = seconds;
      } else {
        samples_[name].push_back(seconds);
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  // Seconds per operation of the fastest repetition; 0 when the benchmark
  // did not run.
  double Fastest(const std::string& name) const {
    auto fastest = fastest_.find(name);
    if (fastest != fastest_.end()) return fastest->second;
    auto found = samples_.find(name);
    if (found == samples_.end() || found->second.empty()) return 0;
    return *std::min_element(found->second.begin(), found->second.end());
  }

 private:
  std::map<std::string, double> fastest_;
  std::map<std::string, std::vector<double>> samples_;
};

// "ratio" is a / b; a target holds when the ratio is at most `most`.
void Target(const SummaryReporter& times, const char* what, const std::string& a,
            const std::string& b, double most, const char* goal) {
  const double ta = times.Fastest(a);
  const double tb = times.Fastest(b);
  if (ta <= 0 || tb <= 0) return;
  const double ratio = ta / tb;
  std::printf("  %-4s %-44s %7.2fx  (%s)\n", ratio <= most ? "ok" : "MISS", what, ratio, goal);
}

void PrintSummary(const SummaryReporter& times) {
  std::printf("\nTargets, from the fastest repetition of each benchmark in this run%s:\n",
              smallRun ? " (small files: the sizes the targets are about were not run)" : "");
  Target(times, "big: run / floor", "big/run", "big/floor", 2.0, "at most 2x");
  Target(times, "big: import from memory / floor", "big/import", "big/floor", 2.0, "at most 2x");
  Target(times, "big: host calls alone / floor", "big/host_calls", "big/floor", 1e9,
         "for information: the interface's own floor");
  Target(times, "big: import / host calls alone", "big/import", "big/host_calls", 1e9,
         "for information");
  Target(times, "big: run / (Assimp load of the .glb)", "big/run", "big/assimp_load_glb", 0.25,
         "at most 1/4: 4x ahead");
  Target(times, "big: run / (tinygltf load of the .glb)", "big/run", "big/tinygltf_load_glb", 1.0,
         "at most 1x: no slower");
  Target(times, "many: run / run of the tenth", "many/run", "many_tenth/run", 12.0,
         "at most 12x for 10x the objects");
  Target(times, "many: import / import of the tenth", "many/import", "many_tenth/import", 12.0,
         "at most 12x for 10x the objects");
  Target(times, "many: run / floor", "many/run", "many/floor", 1e9, "for information");
  Target(times, "tiny: run / floor", "tiny/run", "tiny/floor", 1e9, "for information");
  auto size = [](double bytes) {
    char text[32];
    if (bytes >= 1e6)
      std::snprintf(text, sizeof text, "%.2f MB", bytes / 1e6);
    else
      std::snprintf(text, sizeof text, "%.1f KB", bytes / 1e3);
    return std::string(text);
  };
  // The model's size is the model as the host holds it once the run is over;
  // the second line sets the peak against the model's bare data instead, so
  // that it also shows what the stand-in library spends around that data.
  for (const auto& [name, peak] : peaks) {
    const double limit = 2 * peak.file + peak.heapAfter;
    const double dataLimit = 2 * peak.file + peak.payload;
    std::printf("  %-4s %-44s %s of %s (file %s x 2 + model as held %s); resident set grew %s\n",
                peak.heapPeak <= limit ? "ok" : "MISS", (name + ": peak heap of a run").c_str(),
                size(peak.heapPeak).c_str(), size(limit).c_str(), size(peak.file).c_str(),
                size(peak.heapAfter).c_str(), size(peak.rssPeak).c_str());
    std::printf("  %-4s %-44s %s of %s (model's data %s, held in %s)\n",
                peak.heapPeak <= dataLimit ? "ok" : "MISS",
                (name + ": the same against the model's data").c_str(), size(peak.heapPeak).c_str(),
                size(dataLimit).c_str(), size(peak.payload).c_str(), size(peak.heapAfter).c_str());
  }
}

// Writes the file, imports it once to learn its model's size, and checks that
// the generator made what the import takes without complaint.
bool Prepare(Dataset& data) {
  data.path = (workFolder / (data.name + ".msh")).string();
  if (!SaveMsh(data.bytes, data.path)) {
    std::fprintf(stderr, "qm_bench: cannot write %s\n", data.path.c_str());
    return false;
  }
  qmModelPtr model(qmModel_Create());
  FileBuffer myfile(data.bytes.data(), data.bytes.size());
  const ImportReport report = ImportMeshFile(model.get(), myfile);
  if (!report.Ok()) {
    std::fprintf(stderr, "qm_bench: %s: %s\n", data.name.c_str(), report.Message().c_str());
    return false;
  }
  data.payload = ModelPayloadBytes(model.get());
  data.vertices = CountVertices(model.get(), data.triangles);
  if (data.name == "big") {
    data.glbPath = (workFolder / "big.glb").string();
    ExportNotes notes;
    std::string error;
    if (!SaveGlb(model.get(), AllLevels(), data.glbPath, notes, error)) {
      std::fprintf(stderr, "qm_bench: %s\n", error.c_str());
      return false;
    }
  }
  std::printf("%-11s %10zu bytes, %4d meshes, %4d materials, %8d vertices, %8d triangles\n",
              data.name.c_str(), data.bytes.size(), qmModel_GetMeshCount(model.get()),
              qmModel_GetMaterialCount(model.get()), data.vertices, data.triangles);
  return true;
}

using Body = void (*)(benchmark::State&, const Dataset&);

void Register(const Dataset& data, const char* what, Body body, benchmark::TimeUnit unit) {
  benchmark::internal::Benchmark* bench = benchmark::RegisterBenchmark(
      (data.name + "/" + what).c_str(), [body, &data](benchmark::State& state) { body(state, data); });
  bench->Unit(unit);
  bench->ComputeStatistics("min", [](const std::vector<double>& times) {
    return *std::min_element(times.begin(), times.end());
  });
  if (smallRun || body == &PeakMemory)
    bench->Iterations(1);
  else if (data.name == "tiny")
    bench->Iterations(10'000);
}

}  // namespace

int main(int argc, char** argv) {
  // Our own flag, taken out before Google Benchmark reads the rest.
  int kept = 1;
  std::string keepIn;  // --files=DIR: write the inputs there and keep them
  for (int n = 1; n < argc; ++n) {
    if (std::strcmp(argv[n], "--small") == 0)
      smallRun = true;
    else if (std::strncmp(argv[n], "--files=", 8) == 0)
      keepIn = argv[n] + 8;
    else
      argv[kept++] = argv[n];
  }
  argc = kept;
  // The host has run a while: memory freed by one import is reused by the
  // next, as it is for every competitor here. Without this, blocks above
  // malloc's mmap threshold (the floor's one block, the loaders' buffers)
  // would get fresh pages each time while the model's small blocks are
  // reused, and a page fault costs 30 us on this machine's VM. The cold
  // case, a first run in a fresh process, is qm_bench_peak's.
  mallopt(M_MMAP_MAX, 0);
  mallopt(M_TRIM_THRESHOLD, INT_MAX);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;

  workFolder = keepIn.empty()
                   ? fs::temp_directory_path() / ("qm_bench_" + std::to_string(getpid()))
                   : fs::path(keepIn);
  fs::create_directories(workFolder);

  std::deque<Dataset> files(4);
  files[0].name = "big";
  files[0].bytes = MakeBigFile(smallRun);
  files[1].name = "many";
  files[1].bytes = MakeManyFile(1, smallRun);
  files[2].name = "many_tenth";
  files[2].bytes = MakeManyFile(10, smallRun);
  files[3].name = "tiny";
  files[3].bytes = MakeTinyFile();
  for (Dataset& data : files) {
    if (!Prepare(data)) {
      if (keepIn.empty()) fs::remove_all(workFolder);
      return 1;
    }
  }

  using benchmark::kMicrosecond;
  using benchmark::kMillisecond;
  for (const Dataset& data : files) {
    const benchmark::TimeUnit unit = data.name == "tiny" ? kMicrosecond : kMillisecond;
    Register(data, "floor", &Floor, unit);
    Register(data, "import", &Import, unit);
    Register(data, "run", &Run, unit);
    if (data.name == "big" || data.name == "many") {
      Register(data, "save_json", &SaveJson, unit);
      Register(data, "save_glb", &SaveGlb, unit);
    }
    if (data.name == "big") {
      Register(data, "host_calls", &HostCalls, unit);
      Register(data, "assimp_load_glb", &AssimpLoad, unit);
      Register(data, "tinygltf_load_glb", &TinygltfLoad, unit);
    }
    Register(data, "peak_memory", &PeakMemory, kMillisecond);
  }

  SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  PrintSummary(reporter);
  benchmark::Shutdown();
  if (keepIn.empty()) fs::remove_all(workFolder);
  return 0;
}
