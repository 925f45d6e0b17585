#!/bin/sh
# Installs what the 32-bit Windows build and its tests under Wine need:
# the mingw-w64 cross compilers, GoogleTest's sources, Wine (32-bit) with its
# fonts, and a virtual X server. Quick when everything is already there.
#   scripts/setup-windows.sh [extra Debian package...]
set -eu

packages="cmake make g++-mingw-w64-i686 googletest wine wine32:i386 fonts-wine xvfb x11-utils $*"

installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

missing=""
for p in $packages; do
    installed "$p" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
    as_root=""
elif command -v sudo >/dev/null 2>&1; then
    as_root="sudo"
else
    echo "setup-windows: need root to install:$missing" >&2
    exit 1
fi

echo "setup-windows: installing$missing"
# Wine runs 32-bit Windows programs with 32-bit Debian libraries.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $as_root dpkg --add-architecture i386
fi
$as_root apt-get update -qq
DEBIAN_FRONTEND=noninteractive $as_root apt-get install -y -qq $missing
