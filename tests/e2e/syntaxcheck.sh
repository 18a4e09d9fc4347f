#!/usr/bin/env bash
# The syntax check as a user meets it, in the real editor under Xvfb: type an
# error and save, double-click the error's line in Output, type there and
# save. The bytes on disk show the cursor went to the error's line.
# Usage: syntaxcheck.sh path/to/viziro
set -euo pipefail
viziro="$1"
for tool in xvfb-run xdotool php; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
mkdir -p "$HOME"
file="$work/broken.php"
printf '<?php\n\nfunction greet($name)\n{\n    return "Hello " . $name;\n}\n\necho greet("world");\n' > "$file"

cat > "$work/drive.sh" <<'DRIVE'
#!/usr/bin/env bash
set -u
"$1" "$2" &
pid=$!
xdotool search --sync --onlyvisible --name '^broken.php|Viziro' >/dev/null
sleep 3
save() {
  before="$(md5sum < "$2")"
  xdotool key alt+f; sleep 0.7; xdotool key s
  for _ in $(seq 50); do [ "$(md5sum < "$2")" != "$before" ] && break; sleep 0.1; done
}
# The end of line 5 of the default layout (1000x700 at the screen's corner).
xdotool mousemove 700 191 click 1; sleep 0.5
xdotool key End; xdotool type --delay 40 ' +'
save "$1" "$2"
sleep 4 # the check runs; its line appears at the top of Output
xdotool mousemove 800 497 click --repeat 2 --delay 80 1; sleep 1
xdotool type --delay 40 '/*x*/'
save "$1" "$2"
kill $pid
DRIVE
chmod +x "$work/drive.sh"
timeout 90 xvfb-run -a -s "-screen 0 1280x900x24" "$work/drive.sh" "$viziro" "$file" >/dev/null 2>&1 || true

expected=$'<?php\n\nfunction greet($name)\n{\n    return "Hello " . $name; +\n/*x*/}\n\necho greet("world");'
actual="$(cat "$file")"
if [ "$actual" != "$expected" ]; then
  echo "FAIL: the file reads"; cat -A "$file"; exit 1
fi
echo "PASS"
