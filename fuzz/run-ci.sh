#!/bin/sh
# Builds the fuzz targets with clang, writes the seed corpus, checks the 1 MiB
# inputs against a tight allocation limit, then runs each target for
# FUZZ_SECONDS (60 by default). Run from anywhere in a checkout:
#   fuzz/run-ci.sh            (BUILD_DIR defaults to build-fuzz)
# A crash, leak, timeout or broken check leaves its input in
# $BUILD_DIR/fuzz/artifacts and fails the script.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-fuzz}
seconds=${FUZZ_SECONDS:-60}
jobs=${FUZZ_BUILD_JOBS:-2}

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQM_BUILD_FUZZ=ON -DQM_SANITIZE=ON -DQM_BUILD_TESTS=OFF -DQM_WERROR=ON
cmake --build "$build" -j "$jobs" --target fuzz_import fuzz_import_save fuzz_image make_fuzz_seeds \
  make_image_seeds

out=$build/fuzz
rm -rf "$out/seeds" "$out/large" "$out/images"
mkdir -p "$out/seeds" "$out/large" "$out/images" "$out/artifacts"
"$out/make_fuzz_seeds" "$out"
"$out/make_image_seeds" "$out/images"

# Leaks fail the run. The quarantine that catches use after free is cut from
# its default 256 MiB, which would take half of the RSS limit below.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:quarantine_size_mb=64
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# Each 1 MiB file: no single allocation of the import above 4 MiB, and the
# whole run (sanitizer runtime included) within 256 MiB.
"$out/fuzz_import" -rss_limit_mb=256 -malloc_limit_mb=4 "$out"/large/*.msh

# One target for FUZZ_SECONDS: fuzz TARGET DICTIONARY RSS_MB MALLOC_MB SEEDS...
fuzz() {
  target=$1 dictionary=$2 rss=$3 malloc=$4
  shift 4
  mkdir -p "$out/corpus/$target"
  echo "== $target: ${seconds}s"
  "$out/$target" -max_total_time="$seconds" -rss_limit_mb="$rss" -malloc_limit_mb="$malloc" \
    -timeout=10 -print_final_stats=1 -dict="$dictionary" \
    -artifact_prefix="$out/artifacts/$target-" \
    "$out/corpus/$target" "$@"
}

fuzz fuzz_import "$root/fuzz/msh.dict" 512 256 "$out/seeds"
fuzz fuzz_import_save "$root/fuzz/msh.dict" 512 256 "$out/seeds"
# Texture files, from the sample's own and a picture of each kind: a decoded
# picture takes no more than 4 MiB and 1,100 times its file, whatever the
# file claims.
fuzz fuzz_image "$root/fuzz/image.dict" 1024 512 "$out/images" "$root/samples"
