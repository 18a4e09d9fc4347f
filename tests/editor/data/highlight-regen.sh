#!/bin/sh
# Rewrites highlight.golden from highlight.cases with the current highlighter.
# Read the diff before committing: the golden table is the expectation.
set -e
here="$(cd "$(dirname "$0")" && pwd)"
build="${BUILD_DIR:-$here/../../../build}"
cmake --build "$build" -j2 --target tst_highlighter
VIZIRO_REGENERATE=1 QT_QPA_PLATFORM=offscreen "$build/tests/tst_highlighter" regenerateGolden
git -C "$here" diff --stat -- highlight.golden
