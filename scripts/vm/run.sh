#!/usr/bin/env bash
# Runs one command as root on Debian's own kernel, in a throwaway VM whose
# user space is this machine's root file system (read-only; /tmp, /run and
# /dev/shm are fresh and empty, but for the entry of /tmp the command works
# in, which stays the host's), and exits with the command's status. Its
# output comes back when the VM ends.
#   scripts/vm/run.sh [--timeout SECONDS] [--share DIR] [--] COMMAND [ARGS...]
# The command runs in the current directory, with the modules of that kernel
# found by modprobe; --share makes DIR (of this machine) writable there at
# the same path, for files to bring back. Status 77 (with the reason on standard error) when qemu
# or the kernel is not there: scripts/vm/fetch-kernel.sh fetches the kernel.
#   REMOTEMONITOR_KERNEL_CACHE  where fetch-kernel.sh put it
#   REMOTEMONITOR_VM_ACCEL      tcg or kvm (default: kvm where a probe boot works)
set -euo pipefail

timeout_s=900
share=
while [ "$#" -ge 2 ]; do
  case "$1" in
    --timeout) timeout_s=$2 ;;
    --share) share=$(cd "$2" && pwd) ;;
    *) break ;;
  esac
  shift 2
done
[ "${1:-}" = "--" ] && shift
[ "$#" -gt 0 ] || { echo "usage: $0 [--timeout SECONDS] [--share DIR] [--] COMMAND [ARGS...]" >&2; exit 2; }

here=$(cd "$(dirname "$0")" && pwd)
cache="${REMOTEMONITOR_KERNEL_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/remotemonitor/kernel}"
skip() { echo "SKIPPED: $*" >&2; exit 77; }
command -v qemu-system-x86_64 >/dev/null || skip "qemu-system-x86_64 is not installed (package qemu-system-x86)"
busybox=/bin/busybox
[ -x "$busybox" ] && "$busybox" --list | grep -x insmod >/dev/null || skip "no static busybox (package busybox-static)"
[ -f "$cache/current" ] || skip "no kernel in $cache: run scripts/vm/fetch-kernel.sh"
version=$(cat "$cache/current")
kdir="$cache/$version"
[ -f "$kdir/ready" ] || skip "the kernel in $kdir is incomplete: run scripts/vm/fetch-kernel.sh"
modules="$kdir/lib/modules/$version"

# The initramfs: busybox, the modules that reach the host's root, the init.
initramfs="$cache/initramfs-$version-$(cat "$here/init" | md5sum | cut -c1-12).cpio.gz"
if [ ! -f "$initramfs" ]; then
  staging=$(mktemp -d)
  mkdir -p "$staging/bin" "$staging/modules"
  cp "$busybox" "$staging/bin/busybox"
  cp "$here/init" "$staging/init"
  modprobe -d "$kdir" -S "$version" --show-depends -a virtio_pci 9pnet_virtio 9p |
    awk '$1 == "insmod" && !seen[$2]++ { print $2 }' | while read -r ko; do
    cp "$ko" "$staging/modules/"
    basename "$ko" >>"$staging/modules/order"
  done
  (cd "$staging" && find . | "$busybox" cpio -o -H newc 2>/dev/null | gzip -1) >"$staging.cpio.gz"
  mv "$staging.cpio.gz" "$initramfs"
  rm -rf "$staging"
fi

# The results share: the command, where it runs, and what comes back.
results=$(mktemp -d "${TMPDIR:-/tmp}/rm-vm-XXXXXX")
[ "${results#/tmp/}" != "$results" ] && { rm -rf "$results"; results=$(mktemp -d "$PWD/.rm-vm-XXXXXX"); }
trap 'rm -rf "$results"' EXIT
pwd >"$results/cwd"
command_file() {
  echo "export MODPROBE_OPTIONS='-d $kdir' PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin"
  echo "export HOME=/root REMOTEMONITOR_IN_VM=1"
  printf 'exec'
  printf ' %q' "$@"
  echo
}

# boot SECONDS QEMU-OPTION...
boot() {
  local seconds=$1
  shift
  timeout --kill-after=10 "$seconds" qemu-system-x86_64 "$@" -m 512 -smp 2 -nographic -no-reboot -net none \
    -kernel "$kdir/boot/vmlinuz-$version" -initrd "$initramfs" \
    -append "console=ttyS0 quiet loglevel=3 panic=-1 rm.results=$results rm.kernel=$kdir rm.share=${share:-none}" \
    -virtfs local,path=/,mount_tag=host,security_model=none,readonly=on,multidevs=remap \
    -virtfs local,path="$results",mount_tag=results,security_model=none,multidevs=remap \
    -virtfs local,path="${share:-$results}",mount_tag=share,security_model=none,multidevs=remap \
    >"$results/console" 2>&1 </dev/null
}
accel="${REMOTEMONITOR_VM_ACCEL:-}"
if [ -z "$accel" ]; then
  accel=tcg
  [ -r /dev/kvm ] && [ -w /dev/kvm ] && accel=probe
fi
# Where /dev/kvm is there but KVM does not work, a boot under it may hang
# rather than fail: it is first asked to run nothing, in a few seconds
# (a few hundred ms where it works; TCG's boot takes about 5 s).
if [ "$accel" = probe ]; then
  command_file true >"$results/command"
  (boot 10 -accel kvm -cpu host) 2>/dev/null || true
  if [ -f "$results/status" ]; then accel=kvm; else accel=tcg; fi
  rm -f "$results/status" "$results/output"
fi
command_file "$@" >"$results/command"
if [ "$accel" = kvm ]; then
  (boot "$timeout_s" -accel kvm -cpu host) 2>/dev/null || true
elif [ "$accel" = tcg ]; then
  boot "$timeout_s" -accel tcg || true
fi
[ -f "$results/output" ] && cat "$results/output"
if [ ! -f "$results/status" ]; then
  echo "vm: the VM ended without the command's status; its console:" >&2
  tail -n 40 "$results/console" >&2
  exit 1
fi
exit "$(cat "$results/status")"
