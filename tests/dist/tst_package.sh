#!/usr/bin/env bash
# `cpack -G DEB`: a package that installs under /usr, names the shared
# libraries it needs and describes itself; lintian, where installed, finds
# no error in it.
set -euo pipefail
build="$1"
fail() { echo "FAIL: $*" >&2; exit 1; }
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out" >/dev/null
debs=("$out"/viziro_*.deb)
[ -f "${debs[0]}" ] || fail "no viziro_*.deb"
deb="${debs[0]}"

field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = viziro ] || fail "Package: $(field Package)"
[ "$(field Section)" = editors ] || fail "Section: $(field Section)"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
for lib in libqt6widgets6 libqt6gui6 libqt6core6 libstdc++6; do
  grep -qw "$lib" <<<"$(field Depends)" || fail "Depends lacks $lib: $(field Depends)"
done
# The extended description is wrapped, as Debian's control files want.
if field Description | awk 'length > 80 { found = 1 } END { exit !found }'; then
  fail "long description lines"
fi

contents=$(dpkg-deb --contents "$deb")
for f in ./usr/bin/viziro ./usr/bin/viziro-index ./usr/share/viziro/builtin.list \
         ./usr/share/applications/viziro.desktop ./usr/share/doc/viziro/copyright; do
  grep -qF " $f" <<<"$contents" || fail "not packaged: $f"
done
grep -E '^-' <<<"$contents" | awk '$2 != "root/root" { bad = 1 } END { exit bad }' || fail "files not owned by root"

if command -v lintian >/dev/null; then
  report=$(lintian "$deb" 2>/dev/null || true)
  echo "$report"
  ! grep -q '^E:' <<<"$report" || fail "lintian reports errors"
else
  echo "lintian is not installed: skipped"
fi
echo "PASS"
