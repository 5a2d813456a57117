#!/usr/bin/env bash
# Builds everything and runs every test: the suite in the release build and
# again under AddressSanitizer and UndefinedBehaviorSanitizer, then the extra
# checks. Installs what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh all

cmake --preset default
cmake --build --preset default
ctest --preset default

cmake --preset sanitize
cmake --build --preset sanitize
ctest --preset sanitize

# Saved models checked by the formats' own tools: the Khronos glTF validator
# and assimp (the validator is installed by npm on first use).
export/check-formats.sh build

# The shipping 32-bit Windows DLL and its x86-64 twin, cross-built with
# MinGW-w64: imports, exports, the virtual table the host calls, and a run of
# the slots under wine64.
windows/check-dll.sh

# The benchmarks, built and run once on small files so they keep working; no
# time is checked here (bench/README.md has the measured numbers).
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DQM_WERROR=ON -DQM_BUILD_BENCH=ON
cmake --build build-bench --target qm_bench qm_bench_peak
ctest --test-dir build-bench -L bench --output-on-failure
