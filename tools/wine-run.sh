#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's private prefixes, creating
# a prefix on first use: 64-bit programs in build/wineprefix, 32-bit ones in a
# 32-bit prefix of their own, build/wineprefix32 (made by the 32-bit loader,
# so that its system folder holds 32-bit libraries). CTest uses it as the
# emulator for every test program.
#   tools/wine-run.sh PROGRAM.exe [ARGS...]
# TOLV_WINE32=1 runs a program named without its file (cmd, reg) as 32-bit.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko: nothing here needs them, and their installers would prompt.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

# Debian's "wine" picks the 32-bit loader whenever it is installed, even on a
# kernel that cannot run 32-bit programs; choose the loader per program.
program=${1:?usage: wine-run.sh PROGRAM.exe [ARGS...]}
loader=/usr/lib/wine/wine64
export WINEPREFIX=${TOLV_WINEPREFIX:-$here/../build/wineprefix}
if [ "${TOLV_WINE32:-}" = 1 ] || { [ -f "$program" ] && od -An -tx1 -j"$(( $(od -An -tu4 -j60 -N4 "$program") + 4 ))" -N2 "$program" | grep -q "4c 01"; }; then
    loader=/usr/lib/wine/wine   # IMAGE_FILE_MACHINE_I386, or asked for
    export WINEPREFIX=${TOLV_WINEPREFIX32:-$here/../build/wineprefix32}
    export WINEARCH=win32
fi
export WINELOADER=$loader

mkdir -p "$(dirname "$WINEPREFIX")"
(
    flock 9
    if [ ! -f "$WINEPREFIX/.tolv-ready" ]; then
        echo "wine-run: setting up the Wine prefix $WINEPREFIX" >&2
        "$loader" wineboot -i >/dev/null 2>&1 || true
        # One virtual desktop for every program: without a window manager,
        # Wine waits two seconds on every popup it hides or destroys.
        "$loader" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
        "$loader" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1280x1024 /f >/dev/null 2>&1
        /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
        /usr/lib/wine/wineserver -w || true
        touch "$WINEPREFIX/.tolv-ready"
    fi
    # One long-lived server per prefix for every program (it refuses when one
    # runs already): otherwise each program after a pause of three seconds
    # starts Wine anew. A new one gets the prefix's services at once, started
    # with no output: started by the program, they would hold its output
    # (a test's, which CTest reads to the end) open for as long as they run.
    if /usr/lib/wine/wineserver -p >/dev/null 2>&1 9>&-; then
        "$loader" cmd /c exit </dev/null >/dev/null 2>&1 9>&- || true
    fi
) 9>"$WINEPREFIX.lock"

exec "$loader" "$@"
