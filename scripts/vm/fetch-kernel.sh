#!/usr/bin/env bash
# Fetches Debian's own kernel (what linux-image-amd64 depends on) and unpacks
# it into a cache for the VM the kernel tests boot; it is never installed on
# this machine. Does nothing when the cache already holds it. Prints the
# kernel's directory on success.
#   REMOTEMONITOR_KERNEL_CACHE  the cache (default ~/.cache/remotemonitor/kernel)
set -euo pipefail

cache="${REMOTEMONITOR_KERNEL_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/remotemonitor/kernel}"
mkdir -p "$cache"

package=$(apt-cache depends linux-image-amd64 2>/dev/null | sed -n 's/^ *Depends: \(linux-image-[0-9].*-amd64\)$/\1/p' | head -n1)
if [ -z "$package" ]; then
  # No package list to ask (an offline machine): an earlier fetch will do.
  if [ -f "$cache/current" ] && [ -d "$cache/$(cat "$cache/current")" ]; then
    echo "$cache/$(cat "$cache/current")"
    exit 0
  fi
  echo "fetch-kernel: apt knows no linux-image-amd64 and the cache is empty" >&2
  exit 1
fi
version=${package#linux-image-}
dir="$cache/$version"
if [ ! -f "$dir/ready" ]; then
  work=$(mktemp -d "$cache/.fetch-XXXXXX")
  trap 'rm -rf "$work"' EXIT
  chmod 755 "$work" # apt fetches as its own user
  (cd "$work" && apt-get download -qq "$package" >/dev/null)
  dpkg-deb -x "$work"/"$package"_*.deb "$work/root"
  depmod -b "$work/root" "$version"
  rm -rf "$dir"
  mv "$work/root" "$dir"
  echo "$version" >"$dir/ready"
fi
echo "$version" >"$cache/current"
echo "$dir"
