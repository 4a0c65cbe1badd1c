#!/bin/sh
# Runs every benchmark on this machine against the local download server
# and prints one table (also written to build/i686/bench/results.json).
# Arguments go to bench/run-bench.py, e.g. --runs 5 or --tiny.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh i686 -DTESSAL_SERVER_ORIGIN="http://127.0.0.1:48080"
build="$PWD/build/i686"

. ./scripts/wine-env.sh
wine_env_start_display
wine_env_start_prefix "$build" win64
python3 tests/server/server.py start --port 48080 --root "$build/server" --pidfile "$build/bench-server.pid"
trap 'python3 tests/server/server.py stop --pidfile "$build/bench-server.pid"; wine_env_stop' EXIT INT TERM
python3 bench/run-bench.py --build "$build" "$@"
