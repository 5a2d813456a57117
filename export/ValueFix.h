// Turning host values into values a format can hold, counting every change.
#ifndef QM_EXPORT_VALUEFIX_H
#define QM_EXPORT_VALUEFIX_H

#include <algorithm>
#include <cmath>
#include <limits>

#include "Export.h"

// NaN becomes 0, the infinities the largest finite floats; `changed` counts.
inline float Finite(float value, int& changed) {
  if (std::isfinite(value)) return value;
  ++changed;
  if (std::isnan(value)) return 0.0f;
  return value > 0 ? std::numeric_limits<float>::max() : std::numeric_limits<float>::lowest();
}

inline float Finite(float value, ExportNotes& notes) { return Finite(value, notes.adjustedValues); }

inline float Clamped01(float value, ExportNotes& notes) {
  if (value >= 0.0f && value <= 1.0f) return value;
  ++notes.adjustedValues;
  return std::isnan(value) ? 0.0f : std::clamp(value, 0.0f, 1.0f);
}

#endif  // QM_EXPORT_VALUEFIX_H
