#include "MemoryLimit.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <limits>
#include <system_error>

#include "qmModelRead.h"

namespace {

constexpr std::uint64_t kNone = std::numeric_limits<std::uint64_t>::max();

// The number a control group's limit file holds; kNone for "max", a missing
// file or anything else.
std::uint64_t ReadLimit(const std::string& path) {
  std::ifstream in(path);
  std::string text;
  if (!(in >> text)) return kNone;
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() ? value : kNone;
}

// The lowest limit on the way from the control group at `path` (relative to
// `root`) up to `root`: a parent's limit holds for its children too.
std::uint64_t LowestLimitUpFrom(const std::string& root, std::string path,
                                const std::string& file) {
  std::uint64_t lowest = kNone;
  for (;;) {
    lowest = std::min(lowest, ReadLimit(root + path + "/" + file));
    if (path.empty() || path == "/") break;
    path.erase(path.find_last_of('/'));
  }
  return lowest;
}

std::uint64_t PhysicalMemory() {
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long pageSize = ::sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return kNone;
  return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize);
}

}  // namespace

std::uint64_t ControlGroupMemoryLimit(const std::string& groupsFile, const std::string& root) {
  std::ifstream groups(groupsFile);
  std::uint64_t lowest = kNone;
  std::string line;
  while (std::getline(groups, line)) {
    // "0::/path" (version 2) or "4:memory:/path", "4:cpu,memory:/path" (version 1).
    const std::size_t first = line.find(':');
    const std::size_t second = first == std::string::npos ? first : line.find(':', first + 1);
    if (second == std::string::npos) continue;
    const std::string controllers = line.substr(first + 1, second - first - 1);
    const std::string path = line.substr(second + 1);
    if (controllers.empty()) {
      lowest = std::min(lowest, LowestLimitUpFrom(root, path, "memory.max"));
    } else if (("," + controllers + ",").find(",memory,") != std::string::npos) {
      lowest = std::min(lowest, LowestLimitUpFrom(root + "/memory", path, "memory.limit_in_bytes"));
    }
  }
  return lowest == kNone ? 0 : lowest;
}

std::uint64_t DefaultMemoryLimit() {
  const std::uint64_t group = ControlGroupMemoryLimit("/proc/self/cgroup", "/sys/fs/cgroup");
  const std::uint64_t usable = std::min(PhysicalMemory(), group == 0 ? kNone : group);
  // Nothing known: no limit but the heap's own.
  if (usable == kNone) return 0;
  return std::max<std::uint64_t>(usable / 2, 1);
}

bool ParseMemorySize(const std::string& text, std::uint64_t& bytes) {
  std::uint64_t number = 0;
  const char* const end = text.data() + text.size();
  const auto [unitStart, error] = std::from_chars(text.data(), end, number);
  if (error != std::errc() || unitStart == text.data()) return false;
  std::string unit(unitStart, end);
  for (char& c : unit) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  int power = 0;
  if (!unit.empty() && unit != "b") {
    const std::size_t at = std::string("kmgt").find(unit[0]);
    const std::string rest = unit.substr(1);
    if (at == std::string::npos || !(rest.empty() || rest == "b" || rest == "ib")) return false;
    power = static_cast<int>(at) + 1;
  }
  for (int n = 0; n < power; ++n) {
    if (number > kNone / 1024) return false;
    number *= 1024;
  }
  if (number == 0) return false;
  bytes = number;
  return true;
}

std::string MemorySizeText(std::uint64_t bytes) {
  static const char* const kUnits[] = {"bytes", "KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
  int unit = 0;
  double value = static_cast<double>(bytes);
  while (value >= 1024 && unit < 6) {
    value /= 1024;
    ++unit;
  }
  char text[32];
  if (unit == 0)
    std::snprintf(text, sizeof text, "%llu bytes", static_cast<unsigned long long>(bytes));
  else
    std::snprintf(text, sizeof text, "%.4g %s", value, kUnits[unit]);
  return text;
}

std::string MemoryLimitNote(const qmModel* model, std::uint64_t limit) {
  if (model == nullptr || limit == 0 || qmModel_GetMemoryLimitReached(model) == 0) return {};
  return "The model reached the memory limit of " + MemorySizeText(limit) +
         " (--memory-limit SIZE changes it).";
}
