# Sourced by the run and test commands: a display for Wine's windows (a private
# Xvfb when there is none) and one long-lived wineserver for all the programs.
here_env=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${TOLV_WINEPREFIX:-$here_env/build/wineprefix}
export TOLV_WINEPREFIX=$WINEPREFIX
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
    WINELOADER=/usr/lib/wine/wine64 /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
    [ -n "${tolv_xvfb:-}" ] && kill "$tolv_xvfb" 2>/dev/null || true
}
trap tolv_cleanup EXIT

# Make the prefix now (once), then keep one wineserver for every program. The
# first program's server lingers a few seconds and a persistent one cannot
# start beside it: it is let go first.
"$here_env/tools/wine-run.sh" cmd /c exit >/dev/null 2>&1 || true
/usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
/usr/lib/wine/wineserver -w >/dev/null 2>&1 || true
if ! WINELOADER=/usr/lib/wine/wine64 /usr/lib/wine/wineserver -p >/dev/null 2>&1; then
    echo "env: the persistent wineserver did not start; each program starts its own" >&2
fi
