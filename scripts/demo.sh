#!/bin/sh
# Installs what is missing, builds the 32-bit setup and runs it under Wine
# against the local demo download server on 127.0.0.1:48080. Uses the
# current X display when there is one, a virtual one otherwise.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
origin="http://127.0.0.1:48080"
./scripts/build.sh i686 -DTESSAL_SERVER_ORIGIN="$origin"
build="build/i686"

. ./scripts/wine-env.sh
if [ -z "${DISPLAY:-}" ]; then
    wine_env_start_display
    echo "No display: running on the virtual display $DISPLAY"
fi
wine_env_start_prefix "$build" win64

python3 tests/server/server.py serve --port 48080 --root "$build/server" &
server=$!
trap 'kill $server 2>/dev/null || true; wine_env_stop' EXIT INT TERM

_MSI_WEB_BOOTSTRAP_DEBUG=1 WINEDEBUG=warn+seh \
    "$PWD/scripts/wine-run" "$PWD/$build/wine" "$build/bin/TessalSetup.exe" "$@" 2>&1 |
    sed -n 's/^.*OutputDebugStringA "\(.*\)"$/trace: \1/p'
log=$(find "$build/wine/win64/drive_c/users" -name ProjectTessalSetup.log 2>/dev/null | head -n 1)
if [ -n "$log" ]; then
    echo "Setup log ($log):"
    iconv -f UTF-16LE -t UTF-8 "$log"
fi
