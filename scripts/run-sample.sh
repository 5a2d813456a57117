#!/usr/bin/env bash
# The main job: installs what is missing, builds, imports the sample file
# shipped in the repo, prints the model's structure, saves it in out/ as JSON
# and glTF, checks the file's layout and draws a picture of it.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh build
cmake --preset default
cmake --build --preset default

mkdir -p out
./build/qmhost import samples/sample.msh
./build/qmhost import samples/sample.msh -o out/sample.json
./build/qmhost import samples/sample.msh -o out/sample.glb
./build/qmhost check samples/sample.msh
./build/qmhost render samples/sample.msh -o out/sample.png
