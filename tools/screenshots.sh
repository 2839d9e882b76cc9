#!/usr/bin/env bash
# Remakes the README's screenshots (docs/screenshots/*.png) of the client on a copy of the demo
# program folder, under Xvfb with the openbox window manager.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
command -v openbox >/dev/null && command -v import >/dev/null || {
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get install -y -qq --no-install-recommends openbox imagemagick
}
bash tools/build.sh
cmake --build build --target make_screenshots

work=$(mktemp -d)
trap 'kill $wm $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
cp -r build/program "$work/program"
rm -rf "$work/program/archive"
cp dist/varnel_client.ini "$work/program/varnel_client.ini" # the shipped settings, not the demo's

display=:${SCREENSHOT_DISPLAY:-87}
Xvfb "$display" -screen 0 1280x940x24 -nolisten tcp >/dev/null 2>&1 & xvfb=$!
sleep 1
DISPLAY=$display openbox >/dev/null 2>&1 & wm=$!
sleep 1
DISPLAY=$display QT_QPA_PLATFORM=xcb QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu \
  TMPDIR="$work" build/tools/make_screenshots "$work/program" docs/screenshots
