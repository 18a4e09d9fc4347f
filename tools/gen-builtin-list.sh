#!/usr/bin/env bash
# Regenerates resources/builtin.list from the reflection of the installed
# PHP (Debian's php-cli): one prototype per line.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
command -v php >/dev/null || apt-get install -y php-cli
php "$here/tools/gen-builtin-list.php" > "$here/resources/builtin.list.new"
mv "$here/resources/builtin.list.new" "$here/resources/builtin.list"
echo "$(wc -l < "$here/resources/builtin.list") prototypes in resources/builtin.list"
