#!/usr/bin/env bash
# `cmake --install` into a fresh prefix: every file where the desktop and
# the programs look for it, the desktop entry and the AppStream metadata
# valid, and the installed programs finding their data from where they are.
set -euo pipefail
build="$1"
fail() { echo "FAIL: $*" >&2; exit 1; }
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

for f in bin/viziro bin/viziro-index share/viziro/builtin.list share/applications/viziro.desktop \
         share/metainfo/example.verovo.viziro.metainfo.xml share/mime/packages/viziro.xml \
         share/man/man1/viziro.1.gz share/man/man1/viziro-index.1.gz \
         share/doc/viziro/copyright share/doc/viziro/changelog.gz; do
  [ -s "$prefix/$f" ] || fail "not installed: $f"
done
for size in 16 22 24 32 48 64 128; do
  icon="$prefix/share/icons/hicolor/${size}x${size}/apps/viziro.png"
  [ -s "$icon" ] || fail "not installed: $icon"
  # Width and height, big-endian, at bytes 16 to 23 of a PNG.
  read -r -a dims <<<"$(od -An -tu1 -j16 -N8 "$icon")"
  width=$(( (dims[2] << 8) + dims[3] )); height=$(( (dims[6] << 8) + dims[7] ))
  [ "$width" -eq "$size" ] && [ "$height" -eq "$size" ] || fail "$icon is ${width}x${height}"
done

desktop-file-validate "$prefix/share/applications/viziro.desktop" || fail "desktop-file-validate"
# The whole tree, so that the metadata's launchable must name the installed
# desktop file. Our id's top-level domain is a reserved one: that note is
# all that may remain.
appstreamcli validate-tree --no-net --strict --override=cid-maybe-not-rdns=pedantic "$prefix" \
  || fail "appstreamcli validate-tree"

[ "$("$prefix/bin/viziro" --version)" = "Viziro $2" ] || fail "the installed viziro --version"

# A built-in function is a known name only when the installed program reads
# builtin.list from the installed tree.
work="$prefix/work"
mkdir "$work"
printf '<?php\nfunction f($s) { return strlen($s); }\n' >"$work/a.php"
printf '<!DOCTYPE RODadazozOZO>\n<Project Name="P">\n <File Name="a.php"/>\n</Project>\n' >"$work/p.vuzar"
"$prefix/bin/viziro-index" "$work/p.vuzar" >/dev/null || fail "the installed viziro-index"
grep -q '<FunctionCall Name="strlen"/>' "$work/p.cdb" || fail "the installed programs do not find builtin.list"
echo "PASS"
