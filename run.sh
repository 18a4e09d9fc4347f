#!/usr/bin/env bash
# Installs what is missing, builds into build/ and opens the editor on the sample project.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/scripts/setup.sh"
target="${1:-$here/examples/site/site.vuzar}"
[ -e "$target" ] || target="$here/examples/site/index.php"
exec "$here/build/viziro" "$target"
