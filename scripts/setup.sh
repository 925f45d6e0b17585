#!/usr/bin/env bash
# Installs the Debian packages a purpose needs, only those missing, and never
# removes an installed package to make room.
#   scripts/setup.sh                 building and running the tool (scripts/run.sh)
#   scripts/setup.sh --test          also what every test needs (scripts/test.sh):
#                                    clang, the 32-bit Windows cross build, Wine
#                                    (where the kernel runs 32-bit programs),
#                                    Xvfb, tmux, qemu, the packaging checks
#   scripts/setup.sh --dry-run ...   says what it would install, installs nothing
# --windows is the old name of --test.
set -euo pipefail
cd "$(dirname "$0")/.."

purpose=run
dry_run=0
for arg in "$@"; do
  case $arg in
  --test | --windows) purpose=test ;;
  --dry-run) dry_run=1 ;;
  *)
    echo "usage: scripts/setup.sh [--test] [--dry-run]" >&2
    exit 2
    ;;
  esac
done

# llvm-rc preprocesses the resource script with clang; python3 makes the
# menu's icons from the icon source. The build configures
# its tests too, hence GoogleTest even to run the tool.
# libxrandr and libxinerama: the monitor the window opens on. Recommends add
# nothing the build or the tool uses.
run_packages=(g++ clang cmake make pkg-config llvm python3 libncurses-dev libx11-dev libxft-dev libxrandr-dev
  libxinerama-dev libgtest-dev libgmock-dev)
run_options=(--no-install-recommends)
# clang's runtimes: the fuzzers and sanitizers; git: the style check's
# list of sources; python3: the benchmark; Xvfb and the X tools: the window's
# tests and screenshots; qemu, busybox and kmod: the tests on a booted kernel;
# lintian and the rest: the package's build (dpkg-buildflags, CPack's look
# at the binaries with file) and its checks (udevadm test).
test_packages=(clang-format libclang-rt-14-dev git python3 tmux xvfb x11-utils x11-xserver-utils xdotool
  imagemagick fonts-liberation openbox twm g++-mingw-w64-i686 binutils-mingw-w64-i686 googletest
  qemu-system-x86 busybox-static kmod lintian desktop-file-utils man-db groff dpkg-dev file udev)
# Wine is a list of its own: a mirror that cannot serve its 32-bit half must
# not keep the rest from being installed.
wine_packages=(wine wine32:i386 fonts-wine)

installed() { [ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null)" = "install ok installed" ]; }

# missing NAME PACKAGE...: sets the array NAME to the packages not installed.
missing() {
  local -n out=$1
  shift
  out=()
  local p
  for p in "$@"; do
    installed "$p" || out+=("$p")
  done
}

missing missing_run "${run_packages[@]}"
missing_test=()
missing_wine=()
if [ "$purpose" = test ]; then
  missing missing_test "${test_packages[@]}"
  # A kernel that runs no 32-bit x86 program runs no Wine either: its 32-bit
  # half would be hundreds of packages for nothing. When the probe cannot
  # tell, Wine is installed, and what fails then says why.
  probe_status=0
  probe_said=$(cmake/probe-i386.sh build) || probe_status=$?
  if [ "$probe_status" -eq 1 ]; then
    echo "setup: $probe_said: Wine is left out; the Windows exe will be built and checked, not run."
  else
    [ "$probe_status" -eq 0 ] || echo "setup: $probe_said; installing Wine all the same." >&2
    missing missing_wine "${wine_packages[@]}"
  fi
fi
need_i386=0
if [ "${#missing_wine[@]}" -gt 0 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  need_i386=1
fi

# The tests on a booted kernel take Debian's kernel from a cache that this
# script fills; it downloads only what is not there yet.
fetch_kernel() {
  [ "$purpose" = test ] && [ -x scripts/vm/fetch-kernel.sh ] || return 0
  if [ "$dry_run" = 1 ]; then
    echo "setup: would fetch the kernel for the VM tests (scripts/vm/fetch-kernel.sh)"
  elif ! scripts/vm/fetch-kernel.sh; then
    echo "setup: WARNING: could not fetch the kernel (see above): the VM tests will be reported as skipped." >&2
  fi
}

if [ "${#missing_run[@]}" -eq 0 ] && [ "${#missing_test[@]}" -eq 0 ] && [ "${#missing_wine[@]}" -eq 0 ]; then
  fetch_kernel
  exit 0
fi

as_root=()
if [ "$dry_run" = 0 ] && [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null 2>&1; then
    echo "setup: packages are missing, and installing them needs root: this user is not root and has no sudo." >&2
    echo "setup: as root, run:" >&2
    [ "$need_i386" = 0 ] || echo "  dpkg --add-architecture i386" >&2
    echo "  apt-get update" >&2
    [ "${#missing_wine[@]}" -eq 0 ] || echo "  apt-get install --no-remove ${missing_wine[*]}" >&2
    [ "${#missing_run[@]}" -eq 0 ] || echo "  apt-get install --no-remove ${run_options[*]} ${missing_run[*]}" >&2
    [ "${#missing_test[@]}" -eq 0 ] || echo "  apt-get install --no-remove ${missing_test[*]}" >&2
    echo "setup: then run this command again." >&2
    exit 1
  fi
  as_root=(sudo)
fi

# A mirror in mid-sync can leave one architecture of the security suite
# without an index; the other's newer candidates then cannot pair with their
# Multi-Arch twins. The release's own suite has both halves.
release=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")

# The first lines that say why apt refused: its errors and the broken dependencies.
apt_reason() { grep -E '^E: |^ [^ ].* : ' | head -n 8 | sed 's/^/    /'; }

# What a plan downloads, from the sizes in apt's list of archives to fetch.
download_size() {
  apt-get --print-uris -qq "$@" 2>/dev/null | awk '{ s += $3 } END { printf "%.1f MB", s / 1e6 }'
}

# install_list WHAT OPTION... -- PACKAGE...: the plain install, and when apt
# cannot resolve or fetch it, the same from the release's suite. Returns
# non-zero, having said why, when neither works.
install_list() {
  local what=$1
  shift
  local options=()
  while [ "$1" != -- ]; do
    options+=("$1")
    shift
  done
  shift
  local suites=("")
  [ -z "$release" ] || suites+=("$release")
  local suite plan why=""
  for suite in "${suites[@]}"; do
    local args=(--no-remove "${options[@]}")
    [ -z "$suite" ] || args+=(-t "$suite")
    args+=(install "$@")
    local from=${suite:+, all from $suite}
    if ! plan=$(LC_ALL=C apt-get -s "${args[@]}" 2>&1); then
      why+="  apt-get ${args[*]}:"$'\n'"$(apt_reason <<<"$plan")"$'\n'
      echo "setup: $what: apt cannot resolve apt-get ${args[*]}"
      continue
    fi
    local counts
    counts=$(grep -E '^[0-9]+ upgraded' <<<"$plan" | sed 's/ and [0-9]* not upgraded//; s/\.$//' || echo "?")
    echo "setup: $what: $counts; $(download_size "${args[@]}") to download$from"
    if [ "$dry_run" = 1 ]; then
      echo "setup: would run: apt-get ${args[*]}"
      return 0
    fi
    if DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get -y -q "${args[@]}"; then
      return 0
    fi
    why+="  apt-get ${args[*]}: failed (apt's message above)"$'\n'
  done
  echo "setup: WARNING: could not install ${*} ($what):" >&2
  printf '%s' "$why" >&2
  return 1
}

if [ "$need_i386" = 1 ]; then
  if [ "$dry_run" = 1 ]; then
    echo "setup: would add the i386 architecture for Wine (dpkg --add-architecture i386)"
  else
    "${as_root[@]}" dpkg --add-architecture i386
  fi
fi
if [ "$dry_run" = 0 ]; then
  echo "setup: updating the package index..."
  "${as_root[@]}" apt-get update -q || echo "setup: WARNING: the package index could not be updated everywhere." >&2
fi

# pairing PACKAGE...: where the packages fail only because amd64 libraries
# already installed are newer than the i386 halves the mirror serves, says
# which and prints the apt-get line that takes them back to the release's
# versions. Not run here: it gives up their newer versions.
pairing() {
  [ -n "$release" ] || return 0
  local pin plan older
  pin=$(mktemp)
  printf 'Package: *\nPin: release n=%s\nPin-Priority: 1001\n' "$release" >"$pin"
  plan=$(LC_ALL=C apt-get -s --no-remove --allow-downgrades -o Dir::Etc::Preferences="$pin" install "$@" 2>&1) || plan=""
  rm -f "$pin"
  older=$(awk '/^The following packages will be DOWNGRADED:/ { f = 1; next } f && /^  / { print; next } { f = 0 }' <<<"$plan" |
    xargs -r printf "%s/$release ")
  [ -n "$older" ] || return 0
  echo "setup: they install with these amd64 libraries taken back to the release's versions, as root:" >&2
  echo "  apt-get install --no-remove --allow-downgrades -t $release $* ${older% }" >&2
}

# Wine first: each of its i386 libraries must be the very version of its
# amd64 half, and a half already installed from a suite whose i386 index is
# missing could only be matched by taking it back to an older version. The
# later lists fall back to the release's suite where they must.
if [ "${#missing_wine[@]}" -gt 0 ] && ! install_list "Wine" -- "${missing_wine[@]}"; then
  echo "setup: WARNING: the tests that run under Wine will be reported as skipped." >&2
  pairing "${missing_wine[@]}"
fi
if [ "${#missing_run[@]}" -gt 0 ]; then
  install_list "the build and the tool" "${run_options[@]}" -- "${missing_run[@]}" || exit 1
fi
if [ "${#missing_test[@]}" -gt 0 ] && ! install_list "the test tools" -- "${missing_test[@]}"; then
  echo "setup: WARNING: the tests that need them will be reported as skipped." >&2
fi
fetch_kernel
