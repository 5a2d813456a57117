// Writes the files that the runs of the Windows DLLs import and compare with
// qmhost, all made by our own writer and the same on every run:
//
//   make_dll_run_files OUTDIR
//
//   sample.msh            the shipped sample
//   marker-NAME.msh       one file per marker family (and names that only look
//                         like one), with 0 to 7 points per hardpoint
//   odd-NAME.msh          names and floats at their edges, and counts whose
//                         products or sums wrap in 32 bits, where the 32-bit
//                         module could part ways with a 64-bit build
//   cut-N.msh             the sample cut short after N bytes
//   changed-K.msh         the sample with one to four bytes changed
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "FileSets.h"
#include "GeneratorCommandLine.h"
#include "MshWriter.h"
#include "SampleFile.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kCuts = 120;
constexpr int kChanged = 180;

MshFile WithPools(std::uint32_t vertexCount, std::uint32_t indexCount) {
  MshFile file;
  for (std::uint32_t v = 0; v < vertexCount; ++v) {
    MshVertex vertex;
    vertex.position = {static_cast<float>(v) * 0.5f, static_cast<float>(v % 3), -1.25f};
    vertex.normal = {0, static_cast<float>(v % 2), 1};
    vertex.texCoords = {0.25f * static_cast<float>(v % 4), 0.1f};
    file.vertices.push_back(vertex);
  }
  for (std::uint32_t i = 0; i < indexCount; ++i)
    file.indices.push_back(
        static_cast<std::uint16_t>(vertexCount ? (i / 3 + i % 3) % vertexCount : 0));
  return file;
}

MshHardpoint Hardpoint(const std::string& name, int points) {
  MshHardpoint hardpoint;
  hardpoint.name = name;
  hardpoint.diffuse = {0.5f, 0.25f, 1, 0.75f};
  for (int p = 0; p < points; ++p)
    hardpoint.points.push_back({static_cast<float>(p), 0.5f, -static_cast<float>(p) / 3});
  return hardpoint;
}

MshFile WithHardpoints(std::vector<MshHardpoint> hardpoints) {
  MshFile file = WithPools(3, 3);
  MshGroup group;
  group.levels.push_back(LevelOf(1.0f, {MeshOf("hull.tga", 0, 3, 0, 1)}));
  group.hardpoints = std::move(hardpoints);
  file.groups.push_back(group);
  return file;
}

const FileBasis kBasis{WithPools, Hardpoint, WithHardpoints};

void AddMarkers(std::vector<NamedFile>& files) {
  // Besides the families, a full 101-byte field with no NUL.
  for (NamedFile& file : MarkerFiles(kBasis, {std::string(101, 'b')}))
    files.push_back(std::move(file));
  files.push_back({"marker-shared", WriteMsh(SharedMarkerFile(kBasis))});
}

void AddOdd(std::vector<NamedFile>& files) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();

  files.push_back({"odd-names", WriteMsh(OneLevel(kBasis, OddNameMeshes(), 2.5f))});
  // NaN (with payloads), the infinities, -0, denormals and the largest
  // floats.
  OddFloats odd;
  odd.textureName = "t.tga";
  odd.values = {nan, inf, -inf, -0.0f, 1e-45f, 3.4e38f, -1.17549435e-38f, 0.1f};
  odd.alpha = -0.0f;
  odd.shininessBits = 0x7FA00001;  // a signalling NaN
  odd.lastLevelRed = 1e-45f;
  odd.markerShininessBits = 0xFF800001;  // a negative one
  files.push_back({"odd-floats", WriteMsh(OddFloatsFile(kBasis, odd))});
  files.push_back({"odd-trailer", WriteMsh(TrailerFile(kBasis))});
  files.push_back({"odd-empty", {}});

  // Counts whose products wrap to small numbers in 32 bits: 56 x vertices,
  // 2 x indices, 12 x points, 28 x a level's block.
  MshFile vertices = WithPools(2, 3);
  vertices.vertexCount = 0x04924925u;  // x 56 = 2^32 + 24
  files.push_back({"odd-vertex-count-wraps", WriteMsh(vertices)});
  MshFile indices = WithPools(2, 3);
  indices.indexCount = 0x80000002u;  // x 2 = 2^32 + 4
  files.push_back({"odd-index-count-wraps", WriteMsh(indices)});
  // x 12 = 2^32 + 8
  files.push_back({"odd-point-count-wraps", WriteMsh(PointCountFile(kBasis, 0x15555556))});
  MshFile block = OneLevel(kBasis, {MeshOf("t.tga", 0, 3, 0, 1)});
  block.groups[0].levels[0].block28Count = 153391690u;  // x 28 = 2^32 + 24
  files.push_back({"odd-block-count-wraps", WriteMsh(block)});
  MshFile maxima = WithPools(2, 3);
  maxima.vertexCount = maxima.indexCount = std::numeric_limits<std::uint32_t>::max();
  maxima.groupCount = std::numeric_limits<std::uint16_t>::max();
  files.push_back({"odd-header-counts-max", WriteMsh(maxima)});

  // Mesh ranges whose sums wrap, against pools of 8 vertices and 18 indices.
  const MeshRange ranges[] = {
      {"vertex-range-wraps", 0xFFFFFFF8u, 0x10, 0, 2},
      {"index-range-wraps", 0, 8, 0xFFFFFFFAu, 4},
      {"triangle-count-wraps", 0, 8, 0, 0x55555556u},  // x 3 = 2^32 + 2
      {"triangle-bytes-wrap", 0, 8, 3, 0x2AAAAAABu},   // x 6 = 2^32 + 2
      {"vertices-past-pool", 6, 5, 0, 6},
      {"corners-outside-mesh", 2, 3, 0, 6},
  };
  for (const MeshRange& range : ranges)
    files.push_back({std::string("odd-") + range.name, WriteMsh(RangeFile(kBasis, range))});
}

void AddDamaged(std::vector<NamedFile>& files, const Bytes& sample) {
  for (NamedFile& cut : SpreadCuts(sample, "cut-", kCuts, 7)) files.push_back(std::move(cut));
  // The standard fixes mt19937's sequence, so the copies are the same on
  // every machine.
  std::mt19937 random(2030);
  for (int k = 0; k < kChanged; ++k) {
    Bytes bytes = sample;
    const int changes = 1 + static_cast<int>(random() % 4);
    for (int c = 0; c < changes; ++c) {
      std::uint8_t& byte = bytes[random() % bytes.size()];
      switch (random() % 4) {
        case 0: byte = 0xFF; break;
        case 1: byte = 0x00; break;
        case 2: byte ^= static_cast<std::uint8_t>(1u << (random() % 8)); break;
        default: byte = static_cast<std::uint8_t>(random()); break;
      }
    }
    files.push_back({"changed-" + std::to_string(k), bytes});
  }
}

}  // namespace

int main(int argc, char** argv) {
  int status = 0;
  const std::string out = GeneratorPath(
      argc, argv, "Writes the files the Windows DLLs' runs import, to compare with qmhost's models.",
      "OUTDIR", "The folder to write into, which must exist", status);
  if (out.empty()) return status;
  const Bytes sample = WriteMsh(SampleFile());
  std::vector<NamedFile> files = {{"sample", sample}};
  AddMarkers(files);
  AddOdd(files);
  AddDamaged(files, sample);
  if (!SaveFiles(files, out, "make_dll_run_files")) return 1;
  std::printf("%zu files in %s\n", files.size(), out.c_str());
  return 0;
}
