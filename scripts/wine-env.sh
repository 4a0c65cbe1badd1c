# Sourced by the scripts: a virtual display and long-lived wineservers for
# the private prefixes of a build tree, stopped again on exit.
#   wine_env_start <build-dir> <arch...>

WINE_ENV_XVFB_PID=""
WINE_ENV_PREFIXES=""

wine_env_stop() {
    for prefix in $WINE_ENV_PREFIXES; do
        WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
    done
    WINE_ENV_PREFIXES=""
    if [ -n "$WINE_ENV_XVFB_PID" ]; then
        kill "$WINE_ENV_XVFB_PID" 2>/dev/null || true
        wait "$WINE_ENV_XVFB_PID" 2>/dev/null || true
        WINE_ENV_XVFB_PID=""
    fi
}

# True when this machine can start 32-bit programs: a kernel without IA-32
# emulation cannot start Wine's 32-bit loader, so 32-bit Windows programs
# cannot run here at all.
wine_env_runs_32bit() {
    /usr/lib/wine/wine --version >/dev/null 2>&1
}

wine_env_start_display() {
    [ -n "$WINE_ENV_XVFB_PID" ] && return 0
    n=90
    while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do
        n=$((n + 1))
    done
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    WINE_ENV_XVFB_PID=$!
    export DISPLAY=":$n"
    tries=0
    while [ ! -e "/tmp/.X11-unix/X$n" ] && [ $tries -lt 100 ]; do
        sleep 0.1
        tries=$((tries + 1))
    done
}

# Creates the prefix if needed and keeps its wineserver alive, so that each
# Wine process starts in a second or two instead of fifteen.
wine_env_start_prefix() {
    build=$(cd "$1" && pwd)
    arch=$2
    TESSAL_WINE_ARCH="$arch" "$WINE_ENV_SCRIPTS/wine-run" "$build/wine" cmd /c exit </dev/null >/dev/null 2>&1 || true
    # A server that the first start left behind is replaced by one that
    # stays up until wine_env_stop.
    WINEPREFIX="$build/wine/$arch" wineserver -k >/dev/null 2>&1 || true
    WINEPREFIX="$build/wine/$arch" wineserver -w >/dev/null 2>&1 || true
    WINEPREFIX="$build/wine/$arch" wineserver -p </dev/null >/dev/null 2>&1
    # Start the prefix's services now, away from any test's output: a
    # service started by a test would hold its output open and ctest would
    # wait for it forever. On the virtual display, which has no window
    # manager, Wine waits two seconds for a manager at every hidden window
    # unless its windows are unmanaged.
    managed=Y
    [ -n "$WINE_ENV_XVFB_PID" ] && managed=N
    TESSAL_WINE_ARCH="$arch" "$WINE_ENV_SCRIPTS/wine-run" "$build/wine" \
        reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d "$managed" /f </dev/null >/dev/null 2>&1 || true
    # A test program that crashes ends with a backtrace on its output instead
    # of waiting for someone to close Wine's crash dialog.
    TESSAL_WINE_ARCH="$arch" "$WINE_ENV_SCRIPTS/wine-run" "$build/wine" \
        reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1 || true
    WINE_ENV_PREFIXES="$WINE_ENV_PREFIXES $build/wine/$arch"
}

WINE_ENV_SCRIPTS=$(cd "$(dirname "$0")" && pwd)
trap wine_env_stop EXIT INT TERM
