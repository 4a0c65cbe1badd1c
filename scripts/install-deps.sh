#!/bin/sh
# Installs what building and testing need, from Debian's own packages only.
# Does nothing when every tool is already present, so it is cheap to call
# from every other script.
set -eu

need=""
have() { command -v "$1" >/dev/null 2>&1; }
for tool in cmake ninja python3 i686-w64-mingw32-g++-posix x86_64-w64-mingw32-g++-posix \
            wine Xvfb wixl osslsigncode openssl import unzip zip curl; do
    have "$tool" || need="yes"
done
[ -f /usr/i686-w64-mingw32/lib/libz.a ] || need="yes"
[ -f /usr/src/googletest/CMakeLists.txt ] || need="yes"
[ -f /usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf ] || need="yes"
[ -x /usr/lib/wine/wine64 ] || need="yes"
[ -e /usr/lib/i386-linux-gnu/wine/i386-windows/kernel32.dll ] || need="yes"
have localedef || need="yes"
# The licence tests run the setup for users in other countries; Wine takes
# the user locale from the environment, which needs the locale compiled.
locales_missing() {
    for name in en_AU de_DE; do
        locale -a 2>/dev/null | grep -qx "$name.utf8" || return 0
    done
    return 1
}
locales_missing && need="yes"
[ -z "$need" ] && exit 0

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive

$SUDO dpkg --add-architecture i386
# A mirror that is briefly out of step must not stop the install: the
# packages below come from the release suite, which is resolved explicitly.
$SUDO apt-get update -q || true
$SUDO apt-get install -y -q -t bookworm --no-install-recommends \
    cmake ninja-build python3 googletest \
    g++-mingw-w64-i686 g++-mingw-w64-x86-64 libz-mingw-w64-dev \
    wine wine64 wine32:i386 xvfb xauth wixl msitools osslsigncode openssl \
    imagemagick fonts-dejavu-core unzip zip locales curl
for name in en_AU de_DE; do
    locale -a 2>/dev/null | grep -qx "$name.utf8" || $SUDO localedef -i "$name" -f UTF-8 "$name.UTF-8"
done
