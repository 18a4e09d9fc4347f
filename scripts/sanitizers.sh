#!/usr/bin/env bash
# Builds and runs the tests under the sanitizers, with g++:
#   scripts/sanitizers.sh asan   the whole suite with AddressSanitizer and
#                                UndefinedBehaviorSanitizer (leaks reported), in build-asan/
#   scripts/sanitizers.sh tsan   the tests labelled analysis, threads or fuzz with
#                                ThreadSanitizer, in build-tsan/
#   scripts/sanitizers.sh plain  the tests labelled analysis, core or fuzz with
#                                the plain vector scans only (as on arm64), under
#                                AddressSanitizer + UndefinedBehaviorSanitizer, in build-plain/
# Further arguments go to ctest: scripts/sanitizers.sh tsan -R tst_project
# Each builds only the tests it runs (no benchmarks, no editor), at -O1.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
kind="${1:?asan, tsan or plain}"
shift
export QT_QPA_PLATFORM=offscreen
case "$kind" in
  asan|plain)
    export BUILD_DIR="$here/build-asan"
    export CMAKE_ARGS="-DVIZIRO_SANITIZE=address;undefined -DVIZIRO_BENCHES=OFF"
    labels="."
    if [ "$kind" = plain ]; then
      export BUILD_DIR="$here/build-plain"
      export CMAKE_ARGS="$CMAKE_ARGS -DVIZIRO_PLAIN_VECTORS=ON"
      labels="analysis|core|fuzz"
    fi
    export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1:detect_stack_use_after_return=0"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:suppressions=$here/tests/ubsan.supp"
    export LSAN_OPTIONS="suppressions=$here/tests/lsan.supp:print_suppressions=0"
    ;;
  tsan)
    export BUILD_DIR="$here/build-tsan"
    export CMAKE_ARGS="-DVIZIRO_SANITIZE=thread -DVIZIRO_BENCHES=OFF"
    export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$here/tests/tsan.supp"
    labels="analysis|threads|fuzz"
    ;;
  *) echo "usage: $0 asan|tsan|plain" >&2; exit 2 ;;
esac
export BUILD_LABELS="$labels"
source "$here/scripts/setup.sh"
cd "$BUILD_DIR"
# Sanitized runs are slower, and a sanitized process forks slowly: the kill
# test keeps a smaller count here.
VIZIRO_KILL_ROUNDS=100 ctest --output-on-failure -j2 -L "$labels" "$@"
