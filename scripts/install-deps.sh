#!/usr/bin/env bash
# Installs the Debian packages that the build and the checks need, only those
# that are missing. Usage: scripts/install-deps.sh [build|all]
#   build  what the build and the test suite need (default)
#   all    also the tools of the extra checks: cross compilers, wine and an
#          i386 emulator for the Windows DLLs, clang for fuzzing, the glTF
#          and OBJ readers (assimp, Blender with the numpy its importer
#          needs), Node.js for the validator
set -euo pipefail

build_packages=(
  cmake ninja-build g++ pkg-config
  libgtest-dev libgmock-dev
  nlohmann-json3-dev libcli11-dev
  libtinygltf-dev libstb-dev libjpeg62-turbo-dev libpng-dev libedit-dev libelf-dev
  libbenchmark-dev libassimp-dev
  libjemalloc-dev
)
extra_packages=(
  clang libclang-rt-14-dev
  g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32 wine64
  python3-unicorn python3-pefile
  assimp-utils
  blender python3-numpy
)

packages=("${build_packages[@]}")
if [[ "${1:-build}" == "all" ]]; then
  packages+=("${extra_packages[@]}")
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done

# Node.js may come from elsewhere than Debian's packages, with its own npm:
# only a machine without npm gets Debian's.
if [[ "${1:-build}" == "all" ]] && ! command -v npm >/dev/null 2>&1; then
  missing+=(nodejs npm)
fi

if ((${#missing[@]} == 0)); then
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo=""
if [[ $(id -u) -ne 0 ]]; then
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
