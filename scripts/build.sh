#!/bin/sh
# Configures and builds one architecture: build.sh <i686|x86_64> [cmake args...]
set -eu
cd "$(dirname "$0")/.."
arch=$1
shift
build="build/$arch"
if [ ! -f "$build/build.ninja" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="cmake/$arch-w64-mingw32.cmake" "$@"
fi
cmake --build "$build"
