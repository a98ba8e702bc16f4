# SPDX-License-Identifier: GPL-3.0-or-later
# Shared by run.sh and test.sh: install what the build needs, then configure
# and build incrementally. Sourced, not run.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# Everything the tests need (test.sh).
BUILD_DIR="${KELVO_BUILD_DIR:-$ROOT/build}"
# The program alone, optimised (run.sh): no tests, fuzz replay, benchmarks
# or tools, so the first start waits only for what it runs.
PROGRAM_BUILD_DIR="${KELVO_PROGRAM_BUILD_DIR:-$ROOT/build-program}"

PACKAGES=(
  build-essential cmake ninja-build ccache pkg-config
  qt6-base-dev qt6-svg-dev libgl-dev libvulkan-dev libfluidsynth-dev
  qt6-qpa-plugins libqt6svg6 libpng-dev poppler-utils qt6-translations-l10n
  fonts-arphic-ukai fonts-arphic-uming fonts-noto-cjk fontconfig python3
  # validators of the desktop entry, metainfo, file type and manual page
  desktop-file-utils appstream man-db shared-mime-info
)
# Only for run.sh: a full General MIDI SoundFont for playback and WAV
# export (the program falls back to TimGM6mb.sf2 without it).
RUN_PACKAGES=(
  fluid-soundfont-gm
)
# Only for test.sh: independent readers of the music export (MIDI read back
# and played, MusicXML turned into staff notation), and the small SoundFont
# the sound tests play with.
TEST_PACKAGES=(
  python3-mido fluidsynth timgm6mb-soundfont sox musescore3 lilypond libxml2-utils
)

install_packages() {
  local missing=()
  local p
  for p in "${PACKAGES[@]}" "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$p")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

build_project() {
  if [ ! -f "$BUILD_DIR/build.ninja" ]; then
    cmake -S "$ROOT" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
  fi
  cmake --build "$BUILD_DIR" --parallel "$(nproc)"
}

build_program() {
  if [ ! -f "$PROGRAM_BUILD_DIR/build.ninja" ]; then
    cmake -S "$ROOT" -B "$PROGRAM_BUILD_DIR" -G Ninja \
      -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
  fi
  cmake --build "$PROGRAM_BUILD_DIR" --parallel "$(nproc)" --target kelvo-gongche
}
