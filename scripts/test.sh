#!/usr/bin/env bash
# Builds everything and runs every test: the suite in the release build and
# again under AddressSanitizer and UndefinedBehaviorSanitizer, then the extra
# checks. Installs what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh all

cmake --preset default
cmake --build --preset default
# The default build also builds the benchmarks; its suite runs them once on
# small files (bench_smoke), so they keep working. No time is checked.
ctest --preset default

cmake --preset sanitize
cmake --build --preset sanitize
ctest --preset sanitize

# libFuzzer on the import and on every saver, 60 s each, under ASan, UBSan
# and LeakSanitizer, after the 1 MiB memory checks.
fuzz/run-ci.sh

# Saved models checked by the formats' own tools: the Khronos glTF validator
# (no error, no warning) and assimp (the validator is installed by npm on
# first use).
export/check-formats.sh build

# The saved sample as a person sees it: imported into Blender, headless.
export/check-blender.sh build

# The shipping 32-bit Windows DLL and its x86-64 twin, cross-built with
# MinGW-w64: imports, exports, the virtual table the host calls, a run of the
# slots under wine64, and the import itself compared with qmhost's: the
# 32-bit DLL in an i386 emulator, the x86-64 one under wine64.
windows/check-dll.sh

