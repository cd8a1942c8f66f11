#!/usr/bin/env bash
# Installs what is missing, builds, registers Tolv.dll in the Wine prefix with
# regsvr32 and opens the navigator on a folder the way the shell does: through
# the handler registered for folders, its menu item and InvokeCommand.
#   tools/run.sh [FOLDER]      (default: /usr/share)
# With a display the navigator stays open until its close box is pressed.
# Without one it runs under a private Xvfb and saves a screenshot in
# build/navigator.png once the scan has had time to end.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
folder=$(realpath "${1:-/usr/share}")
had_display=${DISPLAY:-}
bash tools/setup.sh
source tools/env.sh
cmake -S . -B build/x86_64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake >/dev/null
cmake --build build/x86_64 -j"$(nproc)" --target Tolv shellhost >/dev/null
dll=$(pwd)/build/x86_64/Tolv.dll
tools/wine-run.sh regsvr32 /s "Z:${dll//\//\\}"
winpath="Z:${folder//\//\\}"
if [ -n "$had_display" ]; then
    exec tools/wine-run.sh build/x86_64/shellhost.exe "$winpath" --at 200,120
fi
shot=$(pwd)/build/navigator
tools/wine-run.sh build/x86_64/shellhost.exe "$winpath" --at 200,120 --wait 6000 \
    --screenshot "Z:${shot//\//\\}.bmp" --close
convert "$shot.bmp" "$shot.png" && rm -f "$shot.bmp"
echo "navigator on $folder: screenshot saved as $shot.png"
