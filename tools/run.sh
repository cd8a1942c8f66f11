#!/usr/bin/env bash
# Installs what is missing, builds, and opens the navigator on a folder.
#   tools/run.sh [FOLDER]      (default: /usr/share)
# With a display the navigator stays open until its close box is pressed.
# Without one it runs under a private Xvfb, waits for the scan to end, and
# saves a screenshot in build/navigator.png.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
folder=$(realpath "${1:-/usr/share}")
had_display=${DISPLAY:-}
bash tools/setup.sh
source tools/env.sh
cmake -S . -B build/x86_64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake >/dev/null
cmake --build build/x86_64 -j"$(nproc)" --target navigate >/dev/null
winpath="Z:${folder//\//\\}"
if [ -n "$had_display" ]; then
    exec tools/wine-run.sh build/x86_64/navigate.exe "$winpath" --at 200,120
fi
shot=$(pwd)/build/navigator
tools/wine-run.sh build/x86_64/navigate.exe "$winpath" --at 200,120 --screenshot "Z:${shot//\//\\}.bmp"
convert "$shot.bmp" "$shot.png" && rm -f "$shot.bmp"
echo "navigator on $folder: screenshot saved as $shot.png"
