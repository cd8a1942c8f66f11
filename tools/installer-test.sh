#!/usr/bin/env bash
# Runs the installer's test in a Wine prefix of its own, build/wineprefix-setup,
# made where 32-bit programs run (tools/run32.sh): the installer and the 32-bit
# regsvr32 are 32-bit programs. The prefix starts afresh each time.
#   tools/installer-test.sh INSTALLER_TEST.exe
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export TOLV_WINEPREFIX=$here/../build/wineprefix-setup
rm -rf "$TOLV_WINEPREFIX"
exec bash "$here/run32.sh" bash -c '
    status=0
    "$0/wine-run.sh" "$1" || status=$?
    WINEPREFIX=$TOLV_WINEPREFIX /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
    exit $status' "$here" "$1"
