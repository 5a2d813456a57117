// qm_bench_peak FILE.msh: imports the file once through the plug-in's Run into
// a new model and prints what the import held at its peak, as one line of
// key=value pairs that qm_bench reads:
//
//   file=<bytes> payload=<bytes> heap_peak=<bytes> heap_after=<bytes>
//   rss_peak=<bytes>
//
// heap_peak is the most heap the run held above what the process held before
// it (the file's bytes, the import's pools and the model), counted by
// AllocCount; heap_after is what the model holds once the run has freed the
// file; rss_peak is the growth of the resident set (VmHWM over VmRSS before),
// which also counts the allocator's own pages. Runs in a process of its own so
// that nothing the benchmarks left behind is reused.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>

#include "AllocCount.h"
#include "BenchSupport.h"
#include "HostDialogs.h"
#include "MeshImportPlugIn.h"
#include "qmModelRead.h"

namespace {

// A field of /proc/self/status, in bytes.
long long StatusBytes(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const size_t length = std::strlen(field);
  while (std::getline(status, line)) {
    if (line.compare(0, length, field) == 0 && line.size() > length && line[length] == ':')
      return std::stoll(line.substr(length + 1)) * 1024;
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: qm_bench_peak FILE.msh\n");
    return 2;
  }
  std::FILE* probe = std::fopen(argv[1], "rb");
  if (probe == nullptr) {
    std::fprintf(stderr, "qm_bench_peak: cannot open %s\n", argv[1]);
    return 1;
  }
  std::fseek(probe, 0, SEEK_END);
  const long fileBytes = std::ftell(probe);
  std::fclose(probe);

  qmModel* model = qmModel_Create();
  MeshImportPlugIn plugin;
  HostDialogs dialog(argv[1]);

  const long long rssBefore = StatusBytes("VmRSS");
  const long long heapBefore = HeapBytesHeld();
  ResetHeapPeak();
  plugin.Run(model);
  const long long heapPeak = HeapPeakBytes() - heapBefore;
  const long long heapAfter = HeapBytesHeld() - heapBefore;
  const long long rssPeak = StatusBytes("VmHWM") - rssBefore;

  std::printf("file=%ld payload=%llu heap_peak=%lld heap_after=%lld rss_peak=%lld messages=%zu\n",
              fileBytes, static_cast<unsigned long long>(ModelPayloadBytes(model)), heapPeak,
              heapAfter, rssPeak, dialog.Messages().size());
  qmModel_Free(model);
  return 0;
}
