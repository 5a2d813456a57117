#!/usr/bin/env bash
# The main job: installs what is missing, builds, imports the sample file
# shipped in the repo, prints the model's structure and saves it in out/.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh build
cmake --preset default
cmake --build --preset default

mkdir -p out
./build/qmhost import samples/sample.msh
./build/qmhost import samples/sample.msh -o out/sample.json
