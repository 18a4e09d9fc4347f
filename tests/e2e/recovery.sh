#!/usr/bin/env bash
# The real editor killed while the user types, started again: Return takes
# the default answer, which recovers the typed text into the document.
#   recovery.sh VIZIRO   (run under xvfb-run; needs xdotool)
set -euo pipefail
viziro="$1"
work="$(mktemp -d)"
trap 'kill -9 ${pid:-} 2>/dev/null || true; rm -rf "$work"' EXIT
export XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
journals="$XDG_DATA_HOME/Verovo/Viziro/recovery"
printf '<?php\necho "hello";\n' > "$work/a.php"

wait_for() { for _ in $(seq 100); do eval "$1" && return 0; sleep 0.1; done; echo "timed out: $1"; return 1; }
window_up() { xdotool search --name 'Viziro' >/dev/null 2>&1; }

wait_for "xdotool getdisplaygeometry >/dev/null 2>&1"
"$viziro" "$work/a.php" & pid=$!
wait_for window_up
sleep 1
xdotool mousemove 600 300 click 1
sleep 0.3
xdotool key ctrl+End
xdotool type --delay 30 'typed before the kill'
# The journal follows a pause within two seconds.
wait_for "grep -qa 'typed before the kill' $journals/*.journal 2>/dev/null"
kill -9 $pid; wait $pid 2>/dev/null || true
left="$(stat -c %i "$journals"/*.journal)"

"$viziro" "$work/a.php" & pid=$!
wait_for "xdotool search --name 'Recover Document' >/dev/null 2>&1 || xdotool search --class viziro >/dev/null 2>&1"
sleep 1.5
xdotool key Return
# Recovered, the document is modified and journals its text afresh into
# the place of the old journal (a new file); declined, the old one would stay.
wait_for "[ \"\$(stat -c %i $journals/*.journal 2>/dev/null)\" != $left ]"
grep -qa 'typed before the kill' "$journals"/*.journal
grep -qa 'hello' "$journals"/*.journal
[ "$(cat "$work/a.php")" = "$(printf '<?php\necho "hello";')" ]
echo "recovered after a kill"
