#!/bin/sh
# Compares what this checkout's import builds, and the message it shows, with
# what the import of another commit does, bit for bit:
#   fuzz/diff-import.sh [REF] [MUTANTS] [EXTRA_DIR...]
# REF (default main) is exported with `git archive` and built in a temporary
# folder; both builds run fuzz/import_digest over the same inputs: every
# truncation of the sample, the fuzz seeds and MUTANTS (default 60) mutants of
# each, the 1 MiB files, and any folders named (e.g. a fuzz corpus). Prints the
# count of inputs compared and every line that differs; exits 1 on a difference.
#
# One difference is expected against commits before the import said so: a file
# shorter than its header now says that the model was left as it was. Such lines
# are counted apart and must differ only in that sentence.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
ref=${1:-main}
mutants=${2:-60}
[ $# -gt 0 ] && shift
[ $# -gt 0 ] && shift
work=$(mktemp -d "${TMPDIR:-/tmp}/qm-diff-import.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM

build() {  # SOURCE BUILD
  cmake -S "$1" -B "$2" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQM_BUILD_TESTS=OFF \
    -DQM_BUILD_BENCH=OFF -DCMAKE_PROJECT_INCLUDE="$root/fuzz/import_digest.cmake" >/dev/null
  cmake --build "$2" -j "${DIFF_BUILD_JOBS:-2}" --target import_digest digest_seeds >/dev/null
}

mkdir -p "$work/ref" "$work/seeds" "$work/large"
git -C "$root" archive "$ref" | tar -x -C "$work/ref"
build "$work/ref" "$work/ref-build"
build "$root" "$work/new-build"
"$work/new-build/digest_seeds" "$work"

for side in ref new; do
  "$work/$side-build/import_digest" --sample --mutants "$mutants" "$work/seeds" >"$work/$side.txt"
  "$work/$side-build/import_digest" "$work/large" "$@" >>"$work/$side.txt"
done

awk -v header="it ends inside the header (byte 0). The model holds what was read before that point." \
    -v left="it ends inside the header (byte 0). The model was left as it was." '
  NR == FNR { ref[FNR] = $0; next }
  {
    total++
    if (NF > 3) messages++
    if ($0 == ref[FNR]) next
    mended = ref[FNR]
    at = index(mended, header)
    if (at) mended = substr(mended, 1, at - 1) left substr(mended, at + length(header))
    if ($0 == mended) { header_mend++; next }
    differ++
    print "ref: " ref[FNR]
    print "new: " $0
  }
  END {
    printf "%d inputs compared (%d with a message): %d identical, %d differ only by the short-header sentence, %d differ\n",
      total, messages, total - header_mend - differ, header_mend, differ
    exit differ > 0
  }' "$work/ref.txt" "$work/new.txt"
