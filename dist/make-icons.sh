#!/usr/bin/env bash
# Regenerates dist/icons/ from the logo, in the sizes the desktop's icon
# theme looks in. Needs ImageMagick; the results are committed, so the build
# does not.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
logo="$here/../resources/Viziro_logo.png"
for size in 16 22 24 32 48 64 128; do
  convert "$logo" -filter Lanczos -resize "${size}x${size}" -depth 8 -strip \
    -define png:exclude-chunks=date,time "PNG32:$here/icons/${size}.png"
done
