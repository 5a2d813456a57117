#!/bin/sh
# Imports the sample, saved as .glb, .gltf and .obj with qmhost's defaults,
# into Blender without a window and checks what a person would see there
# (export/blender/check_blender.py says what).
#
#   export/check-blender.sh BUILD_DIR
#
# Needs Debian's blender and python3-numpy.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
. "$here/check-setup.sh"

for extension in json glb gltf obj; do
  "$build/qmhost" import "$here/../samples/sample.msh" -o "$work/sample.$extension" >/dev/null 2>&1
done
# Blender's own messages go to the log, shown when a check fails.
if /usr/bin/blender -b --factory-startup --python "$here/blender/check_blender.py" -- \
    "$work/sample.json" "$work/sample.glb" "$work/sample.gltf" "$work/sample.obj" \
    >"$work/log" 2>&1; then
  grep -E '^(ok|FAILED) |failed$' "$work/log"
else
  cat "$work/log"
  exit 1
fi
