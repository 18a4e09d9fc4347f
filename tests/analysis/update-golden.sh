#!/usr/bin/env bash
# Rewrites the analyser's golden dump from the current build; review the
# diff before committing it.
set -euo pipefail
here="$(cd "$(dirname "$0")/../.." && pwd)"
cmake --build "$here/build" --target tst_phpanalyser
VIZIRO_UPDATE_GOLDEN=1 QT_QPA_PLATFORM=offscreen "$here/build/tests/tst_phpanalyser" golden
git -C "$here" diff --stat -- tests/analysis/data
