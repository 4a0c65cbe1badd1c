#!/bin/sh
# Builds the setup that a release ships, from scratch, and checks it:
#   release.sh --origin https://downloads.example.com --payloads DIR
#              [--sign-key KEY --sign-cert CERT [--timestamp URL]] [--allow-insecure]
# DIR is the release's server tree (DIR/esd/en/tessal/installfiles/...); the
# SHA-256 of every package file and of the licence archive is stamped into
# the setup, which then refuses any package without one. With a key the exe
# is signed with osslsigncode (SHA-256). Prints the path, size and SHA-256.
set -eu
cd "$(dirname "$0")/.."
usage() {
    sed -n '2,4p' "$0" | sed 's/^# //' >&2
    exit 2
}
origin= payloads= key= cert= timestamp= insecure=OFF
while [ $# -gt 0 ]; do
    case $1 in
        --origin) [ $# -ge 2 ] || usage; origin=$2; shift 2 ;;
        --payloads) [ $# -ge 2 ] || usage; payloads=$2; shift 2 ;;
        --sign-key) [ $# -ge 2 ] || usage; key=$2; shift 2 ;;
        --sign-cert) [ $# -ge 2 ] || usage; cert=$2; shift 2 ;;
        --timestamp) [ $# -ge 2 ] || usage; timestamp=$2; shift 2 ;;
        --allow-insecure) insecure=ON; shift ;;
        *) usage ;;
    esac
done
[ -n "$origin" ] && [ -n "$payloads" ] || usage
[ -d "$payloads" ] || { echo "release.sh: the payload folder $payloads does not exist" >&2; exit 2; }
if { [ -n "$key" ] && [ -z "$cert" ]; } || { [ -z "$key" ] && [ -n "$cert" ]; }; then
    echo "release.sh: --sign-key and --sign-cert go together" >&2
    exit 2
fi
case $origin in
    https://*) ;;
    http://*) [ "$insecure" = ON ] || { echo "release.sh: the origin must be https:// (or --allow-insecure)" >&2; exit 2; } ;;
    *) echo "release.sh: the origin must be an http(s):// address" >&2; exit 2 ;;
esac
./scripts/install-deps.sh
payloads=$(realpath "$payloads")
build=${TESSAL_RELEASE_BUILD:-build/release}
# A release never reuses an earlier configuration.
rm -rf "$build"
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/i686-w64-mingw32.cmake -DTESSAL_BUILD_TESTS=OFF \
    -DTESSAL_SERVER_ORIGIN="${origin%/}" -DTESSAL_PAYLOAD_DIR="$payloads" -DTESSAL_REQUIRE_DIGESTS=ON \
    -DTESSAL_ALLOW_INSECURE_ORIGIN="$insecure" >/dev/null
cmake --build "$build" --target TessalSetup
exe="$build/bin/TessalSetup.exe"

tests/check-imports.sh i686-w64-mingw32-objdump "$exe"
# The manifest inside the exe is the release's: its origin, the flag, a
# digest for every package file and for the licence archive.
python3 - "$exe" "${origin%/}" <<'PY'
import sys
sys.path.insert(0, "tools")
from readmanifest import read_manifest
entries = read_manifest(sys.argv[1])
problems = []
if entries.get("SERVERORIGIN") != sys.argv[2]:
    problems.append(f"SERVERORIGIN is {entries.get('SERVERORIGIN')!r}")
if entries.get("REQUIREDIGESTS") != "1":
    problems.append("the setup does not require digests")
keys = [key for name, key in entries.items() if name.isdigit()]
for key in keys + ["EULA"]:
    if (key == "EULA" or entries.get(key + "_INSTALL")) and len(entries.get(key + "_SHA256", "")) != 64:
        problems.append(f"{key} has no digest")
if problems:
    sys.exit("release.sh: the built manifest is wrong: " + "; ".join(problems))
print(f"manifest: {len(keys)} packages, every file with its SHA-256")
PY

if [ -n "$key" ]; then
    signed="$build/bin/TessalSetup-signed.exe"
    rm -f "$signed"
    set -- -certs "$cert" -key "$key" -h sha256 -n "Brantlow Project Tessal Setup"
    [ -n "$timestamp" ] && set -- "$@" -t "$timestamp"
    osslsigncode sign "$@" -in "$exe" -out "$signed" >/dev/null
    mv "$signed" "$exe"
    osslsigncode verify -CAfile "$cert" -in "$exe" >/dev/null || {
        echo "release.sh: the signature does not verify" >&2
        exit 1
    }
    echo "signature: verified by osslsigncode"
    . ./scripts/wine-env.sh
    if wine_env_runs_32bit; then
        # The setup's own check of itself, read from its trace.
        wine_env_start_display
        wine_env_start_prefix "$build" win64
        windows_path="Z:$(realpath "$exe" | sed 's|/|\\|g')"
        verdict=$(_MSI_WEB_BOOTSTRAP_DEBUG=1 WINEDEBUG=+debugstr timeout 120 \
            ./scripts/wine-run "$PWD/$build/wine" "$exe" /v "$windows_path" 2>&1 | grep -o "WVT returned 0x[0-9A-F]*" | head -n 1)
        wine_env_stop
        [ "$verdict" = "WVT returned 0x0" ] ||
            { echo "release.sh: the setup's own /v check says: ${verdict:-nothing}" >&2; exit 1; }
        echo "signature: accepted by the setup's /v"
    else
        echo "NOTE: this machine cannot start 32-bit programs; the setup's own /v check was not run."
    fi
fi
echo "release: $(realpath "$exe")"
echo "size: $(stat -c %s "$exe") bytes"
echo "sha256: $(sha256sum "$exe" | cut -d' ' -f1)"
