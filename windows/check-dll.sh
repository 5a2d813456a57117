#!/usr/bin/env bash
# Cross-builds the Windows module with MinGW-w64, for 32-bit x86 (the shipping
# DLL, preset win32) and for x86-64 (preset win64, which wine64 can run), and
# checks what the host relies on:
#   - the DLLs import only Windows' own libraries and qmModelLib.dll;
#   - the module exports CreatePlugIn, and qmModelLib.dll every function of
#     host/qmModelLib.h, under their plain names;
#   - the plug-in object's virtual table holds the host's four slots in order
#     (read from each DLL's symbol table), and on 32-bit x86 they take `this`
#     in ECX and pop their own arguments;
#   - qmslotcheck, run under wine64, loads the x86-64 module and calls the
#     slots by number as the host does;
#   - both modules import the sample, every marker family and a few hundred
#     damaged files, and build the same models and show the same messages as
#     qmhost (windows/dllrun/dllrun.py): the 32-bit DLL in an i386 emulator,
#     the x86-64 one under wine64.
# Needs g++-mingw-w64-i686-win32, g++-mingw-w64-x86-64-win32, wine64,
# python3-unicorn and python3-pefile (scripts/install-deps.sh all), and
# builds qmhost in build/ (preset default). Prints a line per check and
# closes with "N passed, M failed"; exits non-zero when a check fails.
#
# Environment: QM_JOBS (build jobs, default 2), QM_WINE (default
# /usr/lib/wine/wine64), QM_PYTHON (default /usr/bin/python3, which sees
# Debian's modules), WINEPREFIX (default a folder under /tmp).
set -uo pipefail
cd "$(dirname "$0")/.."

jobs=${QM_JOBS:-2}
wine=${QM_WINE:-/usr/lib/wine/wine64}
python=${QM_PYTHON:-/usr/bin/python3}
passes=0
failures=0

pass() {
  echo "ok   $*"
  passes=$((passes + 1))
}
fail() {
  echo "FAIL $*"
  failures=$((failures + 1))
}

build() {
  local preset=$1
  cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" --parallel "$jobs"
}

# Lower-case names of the DLLs that $2 imports.
imports_of() { "$1-objdump" -p "$2" | awk '/DLL Name:/ { print tolower($3) }' | sort -u; }

# Names in the export table of $2.
exports_of() {
  "$1-objdump" -p "$2" |
    awk '/\[Ordinal\/Name Pointer\] Table/ { on = 1; next } on && /^$/ { on = 0 }
         on && /\[ *[0-9]+\]/ { print $NF }' | sort
}

# check_imports TRIPLET DLL REQUIRED... : the DLL imports every REQUIRED
# library and nothing outside the allowed set.
check_imports() {
  local triplet=$1 dll=$2
  shift 2
  local allowed=" kernel32.dll user32.dll comdlg32.dll msvcrt.dll qmmodellib.dll "
  local imports name ok=1
  imports=$(imports_of "$triplet" "$dll")
  for name in $imports; do
    if [[ $allowed != *" $name "* ]]; then
      fail "$dll imports $name"
      ok=0
    fi
  done
  for name in "$@"; do
    if ! grep -qx "$name" <<<"$imports"; then
      fail "$dll does not import $name"
      ok=0
    fi
  done
  ((ok)) && pass "$dll imports only $(echo $imports)"
}

check_exports() {
  local triplet=$1 build_dir=$2
  local dll=$build_dir/qmMSH2030Vimporter.dll
  local exports
  exports=$(exports_of "$triplet" "$dll")
  if [[ $exports == "CreatePlugIn" ]]; then
    pass "$dll exports CreatePlugIn alone, undecorated"
  else
    fail "$dll exports: $(echo $exports) (want CreatePlugIn alone)"
  fi

  local lib=$build_dir/qmModelLib.dll name missing=()
  exports=$(exports_of "$triplet" "$lib")
  for name in $(grep -o 'QM_MODEL_API [^(]*(' host/qmModelLib.h | grep -o 'qm[A-Za-z]*_[A-Za-z]*(' | tr -d '('); do
    grep -qx "$name" <<<"$exports" || missing+=("$name")
  done
  if ((${#missing[@]} == 0)); then
    pass "$lib exports the host library's functions undecorated"
  else
    fail "$lib lacks the exports: ${missing[*]}"
  fi
  if [[ -f $build_dir/lib/libqmModelLib.dll.a ]]; then
    pass "$build_dir/lib/libqmModelLib.dll.a, the import library, is there"
  else
    fail "no import library for qmModelLib.dll in $build_dir/lib"
  fi
}

# check_slots TRIPLET DLL WORD_BYTES: the four entries after the virtual
# table's offset and type-info words are, in order, the deleting destructor,
# PlugInKind, MenuTitle and Run.
check_slots() {
  local triplet=$1 dll=$2 word=$3
  local symbols vtable
  symbols=$("$triplet-nm" "$dll")
  vtable=$(awk '$3 ~ /^_?_ZTV16MeshImportPlugIn$/ { print $1; exit }' <<<"$symbols")
  if [[ -z $vtable ]]; then
    fail "$dll: no symbol for the plug-in's virtual table"
    return
  fi
  local start=$((16#$vtable)) words=6
  local stop=$((start + words * word))
  # The dump's lines: address, four groups of four bytes, text. The words are
  # little-endian.
  local hex
  hex=$("$triplet-objdump" -s --start-address=$start --stop-address=$stop "$dll" |
    awk '/^ [0-9a-f]+ / { for (i = 2; i <= 5 && i <= NF; ++i) if (length($i) == 8 && $i ~ /^[0-9a-f]+$/) printf "%s", $i }')
  local slot entry expected got address n byte
  local -a want=("PlugIn::DeletingDestructor(unsigned int)" "MeshImportPlugIn::PlugInKind()"
                 "MeshImportPlugIn::MenuTitle()" "MeshImportPlugIn::Run(qmModel*)")
  local ok=1
  local -a slot_symbols=()
  for slot in 0 1 2 3; do
    entry=${hex:$(((slot + 2) * word * 2)):$((word * 2))}
    address=""
    for ((n = word - 1; n >= 0; --n)); do
      byte=${entry:$((n * 2)):2}
      address+=$byte
    done
    address=$(printf '%x' "$((16#${address:-0}))")
    got=$(awk -v a="$address" '$2 ~ /^[Tt]$/ && $3 !~ /^\./ { sub(/^0+/, "", $1); if ($1 == a) { print $3; exit } }' <<<"$symbols")
    slot_symbols+=("$got")
    expected=${want[$slot]}
    local name=""
    # Each target's c++filt knows whether its symbols carry a leading underscore.
    [[ -n $got ]] && name=$("$triplet-c++filt" <<<"$got")
    if [[ $name != "$expected" ]]; then
      fail "$dll: slot $slot holds '${name:-0x$address}', want '$expected'"
      ok=0
    fi
  done
  ((ok)) && pass "$dll: virtual table slots 0-3 are ${want[*]}"
  if [[ $triplet == i686-* ]] && ((ok)); then
    check_thiscall "$triplet" "$dll" "${slot_symbols[@]}"
  fi
}

# On 32-bit x86 the host passes `this` in ECX and leaves the callee to pop the
# other arguments: the deleting destructor and Run, with one argument each,
# return with "ret $0x4", and MenuTitle finds `this` in ECX.
check_thiscall() {
  local triplet=$1 dll=$2
  shift 2
  local -a slot_symbols=("$@")
  local ok=1 slot code
  for slot in 0 3; do
    code=$("$triplet-objdump" -d --no-show-raw-insn --disassemble="${slot_symbols[$slot]}" "$dll")
    if ! grep -q 'ret *\$0x4' <<<"$code"; then
      fail "$dll: slot $slot does not pop its argument (not __thiscall)"
      ok=0
    fi
  done
  code=$("$triplet-objdump" -d --no-show-raw-insn --disassemble="${slot_symbols[2]}" "$dll")
  if ! grep -q '%ecx' <<<"$code"; then
    fail "$dll: slot 2 does not take this in ECX (not __thiscall)"
    ok=0
  fi
  ((ok)) && pass "$dll: the slots are __thiscall"
}

check_format() {
  local triplet=$1 dll=$2 format=$3
  if "$triplet-objdump" -f "$dll" | grep -q "file format $format\$"; then
    pass "$dll is $format"
  else
    fail "$dll is not $format"
  fi
}

run_slotcheck() {
  local build_dir=$1
  if [[ ! -x $wine ]]; then
    fail "no wine at $wine (install wine64)"
    return
  fi
  export WINEDEBUG=-all
  export WINEPREFIX=${WINEPREFIX:-/tmp/qm-wine-$(id -u)}
  # No Mono or Gecko prompts while wine sets up a new prefix.
  export WINEDLLOVERRIDES="mscoree,mshtml="
  local output status
  output=$(cd "$build_dir" && timeout 300 "$wine" ./qmslotcheck.exe qmMSH2030Vimporter.dll 2>/dev/null)
  status=$?
  output=${output//$'\r'/}
  # A crash makes wine print a long report; its head tells enough.
  echo "$output" | head -n 12 | sed 's/^/     /'
  if ((status == 0)) && grep -qx 'kind 1' <<<"$output" &&
    grep -qx 'title Velun 2030V Mesh\.\.\.' <<<"$output"; then
    pass "$build_dir: qmslotcheck under wine64 called the slots as the host does"
  else
    fail "$build_dir: qmslotcheck under wine64 exited with $status"
  fi
}

# The import itself, compared with qmhost's on the same files. qmhost and
# the program that writes the files come from the native build.
run_imports() {
  local work=build/windows/dllrun
  if ! cmake --preset default >/dev/null ||
    ! cmake --build --preset default --parallel "$jobs" --target qmhost make_dll_run_files >/dev/null; then
    fail "the native build of qmhost and make_dll_run_files"
    return
  fi
  rm -rf "$work/files" && mkdir -p "$work/files"
  if ! "$work/make_dll_run_files" "$work/files" >/dev/null; then
    fail "make_dll_run_files $work/files"
    return
  fi
  "$python" windows/dllrun/dllrun.py --qmhost build/qmhost --files "$work/files" \
    --work "$work/runs" --dll32 build-win32/qmMSH2030Vimporter.dll \
    --host64 build-win64/qmrunhost.exe --wine "$wine" | tee "$work/dllrun.log"
  local counts
  counts=$(tail -n 1 "$work/dllrun.log")
  if [[ $counts =~ ^([0-9]+)\ passed,\ ([0-9]+)\ failed$ ]]; then
    passes=$((passes + BASH_REMATCH[1]))
    failures=$((failures + BASH_REMATCH[2]))
  else
    fail "windows/dllrun/dllrun.py ended without its count of checks"
  fi
}

for preset in win32 win64; do
  if ! build "$preset"; then
    fail "the $preset build"
    echo "$passes passed, $failures failed"
    exit 1
  fi
done

for arch in i686:build-win32:4:pei-i386 x86_64:build-win64:8:pei-x86-64; do
  IFS=: read -r cpu build_dir word format <<<"$arch"
  triplet=$cpu-w64-mingw32
  echo "== $build_dir"
  check_format "$triplet" "$build_dir/qmMSH2030Vimporter.dll" "$format"
  check_imports "$triplet" "$build_dir/qmMSH2030Vimporter.dll" \
    kernel32.dll user32.dll comdlg32.dll msvcrt.dll qmmodellib.dll
  check_imports "$triplet" "$build_dir/qmModelLib.dll" kernel32.dll msvcrt.dll
  check_exports "$triplet" "$build_dir"
  check_slots "$triplet" "$build_dir/qmMSH2030Vimporter.dll" "$word"
done
run_slotcheck build-win64
echo "== the import, in both modules"
run_imports

echo "$passes passed, $failures failed"
((failures == 0))
