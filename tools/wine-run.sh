#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's private prefix, creating the
# prefix on first use. CTest uses it as the emulator for every test program.
#   tools/wine-run.sh PROGRAM.exe [ARGS...]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export WINEPREFIX=${TOLV_WINEPREFIX:-$here/../build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko: nothing here needs them, and their installers would prompt.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

# Debian's "wine" picks the 32-bit loader whenever it is installed, even on a
# kernel that cannot run 32-bit programs; choose the loader per program.
loader64=/usr/lib/wine/wine64
loader32=/usr/lib/wine/wine
program=${1:?usage: wine-run.sh PROGRAM.exe [ARGS...]}
loader=$loader64
if [ -f "$program" ] && od -An -tx1 -j"$(( $(od -An -tu4 -j60 -N4 "$program") + 4 ))" -N2 "$program" | grep -q "4c 01"; then
    loader=$loader32   # IMAGE_FILE_MACHINE_I386
fi
export WINELOADER=$loader

mkdir -p "$(dirname "$WINEPREFIX")"
(
    flock 9
    if [ ! -f "$WINEPREFIX/.tolv-ready" ]; then
        echo "wine-run: setting up the Wine prefix $WINEPREFIX" >&2
        export WINELOADER=$loader64
        "$loader64" wineboot -i >/dev/null 2>&1 || true
        # One virtual desktop for every program: without a window manager,
        # Wine waits two seconds on every popup it hides or destroys.
        "$loader64" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
        "$loader64" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1280x1024 /f >/dev/null 2>&1
        /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
        /usr/lib/wine/wineserver -w || true
        touch "$WINEPREFIX/.tolv-ready"
        export WINELOADER=$loader
    fi
) 9>"$WINEPREFIX.lock"

exec "$loader" "$@"
