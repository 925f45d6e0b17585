#!/usr/bin/env bash
# Installs the Debian packages the build needs, and only those missing.
#   scripts/setup.sh            what the native build and its tests need
#   scripts/setup.sh --windows  also the 32-bit Windows cross build, Wine and Xvfb,
#                               and what the screenshot script needs
set -euo pipefail

want_windows=0
[ "${1:-}" = "--windows" ] && want_windows=1

# libclang-rt-14-dev: libFuzzer and the sanitizers' runtimes for clang;
# python3: the benchmark's suite that drives the tool; libx11-dev, libxft-dev:
# the X11 display; xvfb, xdotool and the rest: its tests and screenshots;
# qemu-system-x86, busybox-static, kmod: the VM of the tests on the kernel.
packages=(g++ clang clang-format libclang-rt-14-dev python3 cmake make pkg-config libgtest-dev libgmock-dev
  libncurses-dev libx11-dev libxft-dev llvm tmux xvfb x11-utils xdotool imagemagick fonts-liberation
  qemu-system-x86 busybox-static kmod)
# The Debian package: dpkg-buildflags and dpkg-shlibdeps, file for CPack's
# look at the binaries; udev for its rule's check (udevadm test).
packages+=(dpkg-dev file udev)
# Wine runs the Windows tests; without it they are reported as skipped, so a
# package mirror that cannot serve its 32-bit half does not stop the rest.
wine_packages=()
if [ "$want_windows" = 1 ]; then
  packages+=(g++-mingw-w64-i686 binutils-mingw-w64-i686 googletest)
  wine_packages=(wine wine32:i386 fonts-wine)
fi

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done
if ! command -v llvm-rc >/dev/null 2>&1 && ! ls /usr/bin/llvm-rc-* >/dev/null 2>&1; then
  missing+=(llvm)
fi
missing_wine=()
for p in "${wine_packages[@]}"; do
  installed "$p" || missing_wine+=("$p")
done
[ "${#missing[@]}" -eq 0 ] && [ "${#missing_wine[@]}" -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
if [ "$want_windows" = 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
apt_install() { DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "$@" >/dev/null; }

echo "Installing: ${missing[*]} ${missing_wine[*]}"
$sudo apt-get update -qq || true
[ "${#missing[@]}" -eq 0 ] || apt_install "${missing[@]}"
if [ "${#missing_wine[@]}" -gt 0 ] && ! apt_install "${missing_wine[@]}"; then
  echo "setup: WARNING: could not install ${missing_wine[*]} (see apt's message above);" >&2
  echo "setup: WARNING: the tests that run under Wine will be reported as skipped." >&2
fi
