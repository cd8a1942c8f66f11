#!/usr/bin/env bash
# Runs the display-scale test in Wine prefixes of its own, build/wineprefix-scale
# (and build/wineprefix-scale32 for the 32-bit build), since it changes the
# prefix's DPI for the programs it starts. The prefixes are kept between runs.
#   tools/scale-test.sh SCALE_TEST.exe
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export TOLV_WINEPREFIX=$here/../build/wineprefix-scale
export TOLV_WINEPREFIX32=$here/../build/wineprefix-scale32
status=0
"$here/wine-run.sh" "$1" || status=$?
for prefix in "$TOLV_WINEPREFIX" "$TOLV_WINEPREFIX32"; do
    [ -d "$prefix" ] && WINEPREFIX=$prefix /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
done
exit $status
