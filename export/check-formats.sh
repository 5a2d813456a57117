#!/bin/sh
# Checks the saved formats with the formats' own tools: the Khronos glTF
# validator must report no error and no warning for the .glb and .gltf (the
# sample's with its textures), saved as by default, with every level in one
# file (--level all: MSFT_lod is only information to it) and with a file per
# level (--level-files); assimp must read the .glb and .obj back with the
# right numbers and names. Runs on the shipped sample and on a file made of
# the savers' edge cases.
#
#   export/check-formats.sh BUILD_DIR
#
# Needs node and npm (the validator is installed here by `npm ci`), and the
# assimp command (Debian package assimp-utils).
set -eu

here=$(cd "$(dirname "$0")" && pwd)
. "$here/check-setup.sh"
tools="$here/validator"

if [ ! -d "$tools/node_modules/gltf-validator" ]; then
  (cd "$tools" && npm ci --no-audit --no-fund --silent)
fi

"$build/make_export_fixture" "$work/edges.msh"
status=0
for model in "sample:$here/../samples/sample.msh" "edges:$work/edges.msh"; do
  name=${model%%:*}
  file=${model#*:}
  for extension in json glb gltf obj; do
    "$build/qmhost" import "$file" -o "$work/$name.$extension" >/dev/null 2>"$work/notes"
  done
  for extension in glb gltf; do
    "$build/qmhost" import "$file" -o "$work/$name-all.$extension" --level all \
      >/dev/null 2>"$work/notes"
    "$build/qmhost" import "$file" -o "$work/$name-files.$extension" --level-files \
      >/dev/null 2>"$work/notes"
  done
  node "$tools/validate.js" "$work/$name.glb" "$work/$name.gltf" "$work/$name-all.glb" \
    "$work/$name-all.gltf" "$work/$name-files".glb "$work/$name-files".gltf \
    "$work/$name-files".lod*.glb "$work/$name-files".lod*.gltf || status=1
  node "$tools/check-assimp.js" "$work/$name.json" "$work/$name.glb" "$work/$name.obj" || status=1
done
exit $status
