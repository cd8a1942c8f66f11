# Sourced by the run and test commands: a display for Wine's windows (a private
# Xvfb when there is none); the prefixes' long-lived wineservers are ended on
# exit (tools/wine-run.sh starts them).
here_env=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export TOLV_WINEPREFIX=${TOLV_WINEPREFIX:-$here_env/build/wineprefix}
export TOLV_WINEPREFIX32=${TOLV_WINEPREFIX32:-$here_env/build/wineprefix32}
export WINEPREFIX=$TOLV_WINEPREFIX
export WINEDEBUG=${WINEDEBUG:--all}

if [ -z "${DISPLAY:-}" ]; then
    for n in $(seq 90 120); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
    done
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    tolv_xvfb=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
fi

tolv_cleanup() {
    for prefix in "$TOLV_WINEPREFIX" "$TOLV_WINEPREFIX32"; do
        [ -d "$prefix" ] && WINEPREFIX=$prefix /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
    done
    # A 32-bit program under the emulator can outlive its server's end (seen
    # with services.exe); left over, it stalls the next run's programs.
    pkill -9 -f "^$here_env/build/qemu/qemu-i386 " 2>/dev/null || true
    [ -n "${tolv_xvfb:-}" ] && kill "$tolv_xvfb" 2>/dev/null || true
}
trap tolv_cleanup EXIT

# Make the 64-bit prefix now (once), so that the first test does not pay for it.
"$here_env/tools/wine-run.sh" cmd /c exit >/dev/null 2>&1 || true
