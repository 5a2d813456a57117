#!/usr/bin/env bash
# The installed tree works where it is put and after it moves: qmhost in
# bin/ finds its plug-in and libraries through relative run paths.
# Usage: check-installed-tree.sh BUILD_DIR SAMPLE
set -euo pipefail
build=$1
sample=$2
work=$(mktemp -d /tmp/qm_install_XXXXXX)
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/first" >/dev/null
mv "$work/first" "$work/moved"
qmhost=$work/moved/bin/qmhost
plugin=$work/moved/lib/qmhost/qmMSH2030Vimporter.so

fail() { echo "check-installed-tree: $*" >&2; exit 1; }
listed=$("$qmhost" plugins)
[[ $listed == "$plugin: import plug-in \"Velun 2030V Mesh...\"" ]] || fail "plugins listed: $listed"
"$qmhost" import "$sample" -o "$work/a.glb" || fail "import with the default plug-in"
"$qmhost" import "$sample" -o "$work/b.glb" --plugin "$plugin" || fail "import with --plugin"
cmp -s "$work/a.glb" "$work/b.glb" || fail "the two saves differ"
tree=$("$qmhost" import "$work/moved/share/qmhost/sample.msh")
[[ $tree == "model: 22 meshes, 13 materials"* ]] || fail "the installed sample's tree: ${tree:0:80}"
echo "check-installed-tree: the moved tree runs"
