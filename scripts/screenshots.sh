#!/usr/bin/env bash
# Saves a PNG of every window the Qt wizard tests go through (the three mail kinds, the
# start-up dialogs, install mode) into a folder, under Xvfb when it is there, else on the
# offscreen platform.
# usage: scripts/screenshots.sh [FOLDER]   (default build/screenshots)
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build/screenshots}
bash scripts/build.sh release qt_wizard_test
mkdir -p "$out"
rm -f "$out"/*.png
export TM_SCREENSHOT_DIR
TM_SCREENSHOT_DIR=$(cd "$out" && pwd)
if command -v xvfb-run > /dev/null; then
  QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24" build/bin/qt_wizard_test
else
  QT_QPA_PLATFORM=offscreen build/bin/qt_wizard_test
fi
ls -1 "$out"/*.png
