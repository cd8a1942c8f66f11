#!/usr/bin/env bash
# Installs what is missing, builds, registers Tolv.dll in the Wine prefix with
# regsvr32 and opens the navigator on a folder the way the shell does: through
# the handler registered for folders, its menu item and InvokeCommand.
#   tools/run.sh [--scale PERCENT] [FOLDER]      (default: 100 and /usr/share)
# With --scale the prefix's display runs at that scale (125, 150, 200...) for
# this run. With a display the navigator stays open until its close box is
# pressed. Without one it runs under a private Xvfb and saves a screenshot in
# build/navigator.png (build/navigator-PERCENT.png with --scale) once the scan
# has ended.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
scale=100
if [ "${1:-}" = --scale ]; then
    scale=${2:?usage: run.sh [--scale PERCENT] [FOLDER]}
    shift 2
fi
folder=$(realpath "${1:-/usr/share}")
had_display=${DISPLAY:-}
bash tools/setup.sh
source tools/env.sh
cmake -S . -B build/x86_64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake >/dev/null
cmake --build build/x86_64 -j"$(nproc)" --target Tolv shellhost >/dev/null
dll=$(pwd)/build/x86_64/Tolv.dll
tools/wine-run.sh regsvr32 /s "Z:${dll//\//\\}"
desktop='HKCU\Control Panel\Desktop'
if [ "$scale" != 100 ]; then
    tools/wine-run.sh reg add "$desktop" /v LogPixels /t REG_DWORD /d $((scale * 96 / 100)) /f >/dev/null
    trap 'tools/wine-run.sh reg delete "$desktop" /v LogPixels /f >/dev/null 2>&1 || true; tolv_cleanup' EXIT
fi
winpath="Z:${folder//\//\\}"
if [ -n "$had_display" ]; then
    tools/wine-run.sh build/x86_64/shellhost.exe "$winpath" --at 200,120
    exit
fi
shot=$(pwd)/build/navigator
[ "$scale" = 100 ] || shot=$shot-$scale
tools/wine-run.sh build/x86_64/shellhost.exe "$winpath" --at 200,120 --wait 30000 \
    --screenshot "Z:${shot//\//\\}.bmp" --close
convert "$shot.bmp" "$shot.png" && rm -f "$shot.bmp"
echo "navigator on $folder: screenshot saved as $shot.png"
