#!/bin/sh
# Installs what is missing, builds the 32-bit setup and runs the typical
# install under Wine against the local demo download server on
# 127.0.0.1:48080. With a desktop display the setup opens there and you
# click through it; without one it runs on a virtual display, driven like a
# user would, and a PNG of every page is saved.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
. ./scripts/wine-env.sh
arch=i686
if ! wine_env_runs_32bit; then
    echo "This machine cannot start 32-bit programs: showing the 64-bit build instead."
    arch=x86_64
fi
./scripts/build.sh "$arch" -DTESSAL_SERVER_ORIGIN="http://127.0.0.1:48080"
build="$PWD/build/$arch"

headless=""
if [ -z "${DISPLAY:-}" ]; then
    headless="yes"
    wine_env_start_display
fi
wine_env_start_prefix "$build" win64

python3 tests/server/server.py start --port 48080 --root "$build/server" --pidfile "$build/demo-server.pid"
trap 'python3 tests/server/server.py stop --pidfile "$build/demo-server.pid"; wine_env_stop' EXIT INT TERM

if [ -n "$headless" ]; then
    echo "No desktop display: running the typical install headless on $DISPLAY."
    "$PWD/scripts/wine-run" "$build/wine" "$build/bin/run_tests.exe" \
        --gtest_filter='InstallRunTest.TypicalRun*' --gtest_brief=1
    echo "Pictures of every page: $build/artifacts/typical-*.png"
    ls "$build"/artifacts/typical-*.png
else
    _MSI_WEB_BOOTSTRAP_DEBUG=1 WINEDEBUG=warn+seh \
        "$PWD/scripts/wine-run" "$build/wine" "$build/bin/TessalSetup.exe" "$@" 2>&1 |
        sed -n 's/^.*OutputDebugStringA "\(.*\)"$/trace: \1/p'
fi
log=$(find "$build/wine/win64/drive_c/users" -name ProjectTessalSetup.log 2>/dev/null | head -n 1)
if [ -n "$log" ]; then
    echo "Setup log ($log):"
    iconv -f UTF-16LE -t UTF-8 "$log"
fi
