#include "NameScheme.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

constexpr std::string_view kRedFormat = QM_RED_FORMAT;
constexpr std::string_view kMeshNumberFormat = QM_MESH_NUMBER_FORMAT;
constexpr std::string_view kMarkerMark = QM_MARKER_MARK;
// What stands before the red value ("#red ") and after it ("#"), and before
// the mesh number ("M").
constexpr std::string_view kRedOpening = kRedFormat.substr(0, kRedFormat.find('%'));
constexpr std::string_view kRedClosing = kRedFormat.substr(kRedFormat.rfind('f') + 1);
constexpr std::string_view kMeshOpening = kMeshNumberFormat.substr(0, kMeshNumberFormat.find('%'));

#if defined(__GNUC__)
#  define QM_PRINTF_FORMAT(f, a) __attribute__((format(printf, f, a)))
#else
#  define QM_PRINTF_FORMAT(f, a)
#endif

// Formats into `size` bytes and returns the length of the whole result; a
// failed format (which these cannot be) counts as empty.
int Form(char* name, std::size_t size, const char* format, ...) QM_PRINTF_FORMAT(3, 4);
int Form(char* name, std::size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int length = std::vsnprintf(name, size, format, args);
  va_end(args);
  return length < 0 ? 0 : length;
}

struct FamilyPrefix {
  std::string_view prefix;
  MarkerFamily family;
};

constexpr FamilyPrefix kFamilies[] = {
    {"blink", MarkerFamily::Point},   {"center", MarkerFamily::Point},
    {"fire", MarkerFamily::Point},    {"dock", MarkerFamily::Pair},
    {"breach", MarkerFamily::Pair},   {"angle", MarkerFamily::Pair},
    {"booster", MarkerFamily::Pair},  {"slot", MarkerFamily::Triple},
};

bool StartsWith(std::string_view text, std::string_view start) {
  return text.substr(0, start.size()) == start;
}

bool EndsWith(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

// A run of decimal digits, at most six (group, level and mesh numbers stay
// below 65,536); `at` moves past it.
bool ReadNumber(std::string_view& at, int& value) {
  std::size_t digits = 0;
  value = 0;
  while (digits < at.size() && at[digits] >= '0' && at[digits] <= '9') {
    if (digits == 6) return false;
    value = value * 10 + (at[digits] - '0');
    ++digits;
  }
  at.remove_prefix(digits);
  return digits > 0;
}

// The group and level numbers at the start of a level's names, accepted only
// as the import prints them ("L07LD00", not "L7LD0" or "L007LD00"); `rest`
// is what follows them.
bool ReadGroupLevel(std::string_view name, ParsedName& parsed, std::string_view& rest) {
  std::string_view at = name;
  if (at.empty() || at[0] != 'L') return false;
  at.remove_prefix(1);
  if (!ReadNumber(at, parsed.group)) return false;
  if (!StartsWith(at, "LD")) return false;
  at.remove_prefix(2);
  if (!ReadNumber(at, parsed.level)) return false;
  char again[32];
  const int length = std::snprintf(again, sizeof again, QM_GROUP_LEVEL_FORMAT, parsed.group, parsed.level);
  if (length <= 0 || name.substr(0, static_cast<std::size_t>(length)) != again) return false;
  rest = name.substr(static_cast<std::size_t>(length));
  return true;
}

}  // namespace

int FormLevelMeshName(char* name, std::size_t size, int group, int level, float red) {
  return Form(name, size, QM_LEVEL_MESH_FORMAT, group, level, static_cast<double>(red));
}

int FormMeshName(char* name, std::size_t size, int group, int level, int mesh) {
  return Form(name, size, QM_MESH_FORMAT, group, level, mesh);
}

int FormMaterialName(char* name, std::size_t size, const char* textureName, int length,
                     bool flagged) {
  return flagged ? Form(name, size, QM_FLAGGED_MATERIAL_FORMAT, length, textureName)
                 : Form(name, size, QM_MATERIAL_FORMAT, length, textureName);
}

int FormMarkerName(char* name, std::size_t size, const char* hardpointName, int length) {
  return Form(name, size, QM_MARKER_FORMAT, length, hardpointName);
}

ParsedName ParseName(const char* name) {
  const std::string_view whole = name;
  ParsedName parsed;
  const bool full = whole.size() == static_cast<std::size_t>(kHostNameLength);

  if (StartsWith(whole, kMarkerMark)) {
    const std::string_view inner = whole.substr(kMarkerMark.size());
    if (EndsWith(inner, kMarkerMark)) {
      parsed.kind = NameKind::Marker;
      parsed.text = inner.substr(0, inner.size() - kMarkerMark.size());
    } else if (full) {
      parsed.kind = NameKind::Marker;
      parsed.text = inner;
      parsed.cut = true;
    }
    return parsed;
  }

  std::string_view rest;
  ParsedName numbers;
  if (!ReadGroupLevel(whole, numbers, rest)) return parsed;

  if (StartsWith(rest, kRedOpening)) {
    const std::string_view red = rest.substr(kRedOpening.size());
    if (EndsWith(red, kRedClosing)) {
      numbers.text = red.substr(0, red.size() - kRedClosing.size());
    } else if (full) {
      numbers.text = red;
      numbers.cut = true;
    } else {
      return parsed;
    }
    numbers.kind = NameKind::LevelMesh;
    return numbers;
  }

  if (StartsWith(rest, kMeshOpening)) {
    std::string_view number = rest.substr(kMeshOpening.size());
    if (!ReadNumber(number, numbers.mesh) || !number.empty()) return parsed;
    char again[32];
    FormMeshName(again, sizeof again, numbers.group, numbers.level, numbers.mesh);
    if (whole != again) return parsed;
    numbers.kind = NameKind::Mesh;
    return numbers;
  }
  return parsed;
}

MarkerFamily MarkerFamilyOf(const char* name, std::size_t length) {
  const std::string_view text(name, length);
  for (const FamilyPrefix& entry : kFamilies)
    if (StartsWith(text, entry.prefix)) return entry.family;
  return MarkerFamily::None;
}
