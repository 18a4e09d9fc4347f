#!/usr/bin/env bash
# The command line of the real program: --help and --version print and exit
# without any display; an unknown option is refused.
set -euo pipefail
viziro="$1"
version="$2"
fail() { echo "FAIL: $*" >&2; exit 1; }
nodisplay=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM)

out=$("${nodisplay[@]}" "$viziro" --version) || fail "--version exited with $?"
[ "$out" = "Viziro $version" ] || fail "--version printed: $out"
out=$("${nodisplay[@]}" "$viziro" -v) || fail "-v exited with $?"
[ "$out" = "Viziro $version" ] || fail "-v printed: $out"

out=$("${nodisplay[@]}" "$viziro" --help) || fail "--help exited with $?"
for word in "Usage:" "--version" "FILE:LINE"; do
  grep -qF -- "$word" <<<"$out" || fail "--help does not mention $word: $out"
done

# Qt's own options still reach Qt, in front of ours.
out=$(QT_QPA_PLATFORM=xcb "$viziro" -platform offscreen --version) || fail "-platform then --version exited with $?"
[ "$out" = "Viziro $version" ] || fail "-platform then --version printed: $out"

rc=0
err=$(QT_QPA_PLATFORM=offscreen "$viziro" --no-such-option 2>&1 >/dev/null) || rc=$?
[ "$rc" -eq 1 ] || fail "an unknown option exited with $rc"
grep -qF "no-such-option" <<<"$err" || fail "an unknown option said: $err"
echo "PASS"
