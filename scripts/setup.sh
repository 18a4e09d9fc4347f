#!/usr/bin/env bash
# Installs what the build needs (Debian 12) and builds into build/.
# Sourced by run.sh and test.sh.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# xdotool: the end-to-end tests; dpkg-dev, desktop-file-utils and appstream:
# the Debian package and the checks of what is installed.
packages=(cmake g++ make ninja-build ccache qt6-base-dev qt6-base-dev-tools libgl-dev famfamfam-silk xvfb xauth xdotool
          dpkg-dev desktop-file-utils appstream)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -q "${missing[@]}"
fi

build_dir="${BUILD_DIR:-$here/build}"
cmake -S "$here" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" ${CMAKE_ARGS:-} >/dev/null
if [ -n "${BUILD_LABELS:-}" ]; then
  # Only the tests carrying these labels (a ctest -L regex), and what they need.
  mapfile -t targets < <(cd "$build_dir" && ctest -N -L "$BUILD_LABELS" | sed -n 's/^ *Test *#[0-9]*: //p')
  cmake --build "$build_dir" -j2 --target "${targets[@]}"
else
  cmake --build "$build_dir" -j2
fi
