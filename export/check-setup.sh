# The set-up the checks of saved files share (check-formats.sh,
# check-blender.sh), sourced after `set -eu`: takes their one argument,
# BUILD_DIR, as $build (an absolute path), and makes $work, a temporary
# folder removed when the check ends.
if [ $# -ne 1 ]; then
  echo "usage: $0 BUILD_DIR" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
