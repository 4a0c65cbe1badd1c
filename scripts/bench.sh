#!/bin/sh
# Runs every benchmark on this machine against the local download server
# and prints one table (also written to <build>/bench/results.json, the
# tree whose programs ran).
# Arguments go to bench/run-bench.py, e.g. --runs 5 or --tiny.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
origin="http://127.0.0.1:48080"
# The size rows always measure the shipped 32-bit setup, which builds anywhere.
./scripts/build.sh i686 -DTESSAL_SERVER_ORIGIN="$origin"
size_build="$PWD/build/i686"
build="$size_build"

. ./scripts/wine-env.sh
if ! wine_env_runs_32bit; then
    echo "NOTE: this machine cannot start 32-bit programs; the rows that run the setup measure the 64-bit build."
    ./scripts/build.sh x86_64 -DTESSAL_SERVER_ORIGIN="$origin"
    build="$PWD/build/x86_64"
fi
wine_env_start_display
wine_env_start_prefix "$build" win64
python3 tests/server/server.py start --port 48080 --root "$build/server" --pidfile "$build/bench-server.pid"
trap 'python3 tests/server/server.py stop --pidfile "$build/bench-server.pid"; wine_env_stop' EXIT INT TERM
python3 bench/run-bench.py --build "$build" --size-build "$size_build" "$@"
