#!/bin/sh
# Finds out whether this machine runs a 32-bit x86 program at all. A 64-bit
# kernel built or booted without IA-32 emulation refuses every such program
# with "Exec format error", Wine's own loader included, and no package can
# change that. Asking Wine would not tell this apart from a broken Wine, so
# the question goes to the smallest program there is: a static i386 ELF that
# only exits with status 42, written here byte for byte so that no toolchain
# is needed (setup asks before anything is installed).
#
#   probe-i386.sh DIR    writes the program into DIR (made if need be)
#
# Exit status 0: it runs them. 1: the kernel refuses them; the one line on
# standard output says so. 2: it could not tell (DIR not writable or mounted
# noexec, say); the line says why, and callers go on as if it ran them, so
# that what fails next fails in its own words.
#
# For testing only: RM_SIMULATE_NO_I386=1 marks the program as one for ARM
# (e_machine 40), which this kernel then refuses with the very error a
# kernel without IA-32 emulation gives for an i386 one.
set -u
export LC_ALL=C

if [ $# -ne 1 ]; then
    echo "usage: $0 DIR" >&2
    exit 2
fi
mkdir -p "$1" 2>/dev/null
program=$(mktemp "$1/probe-i386.XXXXXX" 2>/dev/null) || {
    echo "cannot tell whether this machine runs 32-bit x86 programs: cannot write to $1"
    exit 2
}
trap 'rm -f "$program"' EXIT

machine="03 00"
[ "${RM_SIMULATE_NO_I386:-}" != 1 ] || machine="28 00"
# ELF header, one program header loading the whole file at 0x08048000, and
# the code at 0x08048054: mov eax, 1 (exit); mov ebx, 42; int 0x80.
bytes="7f 45 4c 46 01 01 01 00 00 00 00 00 00 00 00 00
       02 00 $machine 01 00 00 00 54 80 04 08 34 00 00 00
       00 00 00 00 00 00 00 00 34 00 20 00 01 00 00 00
       00 00 00 00
       01 00 00 00 00 00 00 00 00 80 04 08 00 80 04 08
       60 00 00 00 60 00 00 00 05 00 00 00 00 10 00 00
       b8 01 00 00 00 bb 2a 00 00 00 cd 80"
escaped=
for byte in $bytes; do
    escaped="$escaped\\$(printf %03o "0x$byte")"
done
# shellcheck disable=SC2059 # the format is the program itself
if ! printf "$escaped" >"$program" || ! chmod +x "$program"; then
    echo "cannot tell whether this machine runs 32-bit x86 programs: cannot write $program"
    exit 2
fi

said=$("$program" 2>&1 </dev/null)
status=$?
case $status in
42)
    exit 0
    ;;
126)
    case $said in
    *"Exec format error"*)
        echo "this machine's kernel runs no 32-bit x86 program (Exec format error)"
        exit 1
        ;;
    esac
    ;;
esac
echo "cannot tell whether this machine runs 32-bit x86 programs: a tiny one ended with status $status${said:+: $said}"
exit 2
