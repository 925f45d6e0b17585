#!/bin/sh
# Checks the Debian package as a user and Debian's tools meet it, on the .deb
# the build made, unpacked into a directory of its own.
#   check_package.sh CHECK PACKAGE.deb WORKDIR
# Exits 77 (skipped) when a tool the check needs is missing.
set -eu
check=$1 deb=$2 work=$3

fail() { echo "FAIL: $*" >&2; exit 1; }
need() { command -v "$1" >/dev/null 2>&1 || { echo "SKIP: $1 is not installed" >&2; exit 77; }; }

[ -f "$deb" ] || fail "no package $deb: build the package preset first"
root="$work/root"
rm -rf "$work" && mkdir -p "$work"
dpkg-deb -x "$deb" "$root"

case $check in
lintian)
    need lintian
    # Informational tags count too: the hardening and stripping ones are.
    lintian --info --fail-on error,warning,info "$deb" || fail "lintian has tags to report"
    ;;
manpage)
    need groff
    need man
    page="$root/usr/share/man/man1/remotemonitor.1.gz"
    gzip -t "$page" || fail "the manual page is not compressed"
    warnings=$(zcat "$page" | groff -ww -z -man 2>&1) || fail "groff failed: $warnings"
    [ -z "$warnings" ] || fail "groff warns: $warnings"
    text=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>"$work/man.err") || fail "man -l failed"
    [ ! -s "$work/man.err" ] || fail "man -l warns: $(cat "$work/man.err")"
    for section in OPTIONS DISPLAYS "EXIT STATUS" FILES "ACCESS TO RECEIVERS" DIAGNOSTICS; do
        printf '%s\n' "$text" | grep -q "^$section" || fail "the manual page has no $section"
    done
    ;;
desktop)
    need desktop-file-validate
    entry="$root/usr/share/applications/remotemonitor.desktop"
    desktop-file-validate "$entry" || fail "desktop-file-validate refuses the menu entry"
    icon=$(sed -n 's/^Icon=//p' "$entry")
    exec_name=$(sed -n 's/^Exec=//p' "$entry")
    [ -x "$root/usr/bin/$exec_name" ] || fail "the entry starts $exec_name, which the package lacks"
    for size in 16 32; do
        png="$root/usr/share/icons/hicolor/${size}x$size/apps/$icon.png"
        [ -f "$png" ] || fail "no $size px icon $icon.png"
        # The PNG header's width and height.
        dims=$(od -An -tu1 -j16 -N8 "$png" | tr -s ' ')
        [ "$dims" = " 0 0 0 $size 0 0 0 $size" ] || fail "$png is not $size x $size:$dims"
    done
    ;;
command)
    cmd="$root/usr/bin/remotemonitor"
    "$cmd" --help >"$work/out" || fail "--help failed"
    grep -q "^Usage: remotemonitor" "$work/out" || fail "--help prints no usage"
    grep -q "man remotemonitor" "$work/out" || fail "--help does not name the manual page"
    "$cmd" -h | cmp -s - "$work/out" || fail "-h is not --help"
    [ "$("$cmd" --version)" = "remotemonitor @PROJECT_VERSION@" ] || fail "--version: $("$cmd" --version)"
    for bad in --bogus -x extra; do
        status=0
        "$cmd" "$bad" >"$work/out" 2>"$work/err" || status=$?
        [ "$status" = 2 ] || fail "$bad: status $status, not 2"
        [ ! -s "$work/out" ] && grep -q "'$bad'" "$work/err" || fail "$bad: no message naming it on standard error"
    done
    # No receiver: an empty rc class, so nothing is read from this machine's.
    mkdir "$work/rc"
    status=0
    out=$(TAVRIXRC_RC_SYSFS="$work/rc" REMOTEMONITOR_DISPLAY=lines "$cmd" </dev/null 2>/dev/null) || status=$?
    [ "$out" = "Tuner not found." ] && [ "$status" = 4 ] || fail "no receiver: '$out', status $status"
    rm "$root/usr/lib/remotemonitor/TavrixRC.dll"
    status=0
    out=$(REMOTEMONITOR_DISPLAY=lines "$cmd" </dev/null 2>/dev/null) || status=$?
    [ "$out" = "Unable to initialize TavrixRC.dll library." ] && [ "$status" = 3 ] ||
        fail "no library: '$out', status $status"
    ;;
udev)
    need udevadm
    need unshare
    rule=$(ls "$root/usr/lib/udev/rules.d/"*.rules)
    if udevadm verify --help >/dev/null 2>&1; then
        udevadm verify "$rule" || fail "udevadm verify refuses $rule"
    else
        echo "NOTE: this udevadm has no verify; the rule is checked by its effect only"
    fi
    # udevadm test on a made-up lirc node and an rc input event node, in a
    # mount namespace of its own over empty /sys, /run and /dev, with the
    # package's rule where the system's rules are read beside it.
    [ "$(id -u)" = 0 ] && private="unshare -m" || private="unshare -rm"
    $private true 2>/dev/null || { echo "SKIP: no private mount namespace here" >&2; exit 77; }
    $private sh -eu -c '
        rule=$1 work=$2
        mount -t tmpfs none /sys && mount -t tmpfs none /run && mount -t tmpfs none /dev
        mkdir -p /run/udev/rules.d && cp "$rule" /run/udev/rules.d/
        node() {  # devpath subsystem name major:minor
            mkdir -p "/sys$1" "/sys/class/$2"
            ln -sfn "/sys/class/$2" "/sys$1/subsystem"
            printf "MAJOR=%s\nMINOR=%s\nDEVNAME=%s\n" "${4%:*}" "${4#*:}" "$3" >"/sys$1/uevent"
            echo "$4" >"/sys$1/dev"
        }
        node /devices/virtual/rc/rc0/lirc0 lirc lirc0 240:0
        node /devices/virtual/rc/rc0/input5/event5 input input/event5 13:69
        for dev in /devices/virtual/rc/rc0/lirc0 /devices/virtual/rc/rc0/input5/event5; do
            SYSTEMD_DEVICE_VERIFY_SYSFS=0 udevadm test --action=add "$dev" >"$work/${dev##*/}.out" 2>&1 || true
        done
    ' sh "$rule" "$work"
    grep -q "^TAGS=.*:uaccess:" "$work/lirc0.out" || fail "the lirc node is not tagged uaccess: $(cat "$work/lirc0.out")"
    # The tag must be in place before the seat's late rules grant the node
    # (systemd's; without systemd, by the rule's name alone).
    if [ -f /lib/udev/rules.d/73-seat-late.rules ] || [ -f /usr/lib/udev/rules.d/73-seat-late.rules ]; then
        grep -q "73-seat-late.rules.*RUN 'uaccess'" "$work/lirc0.out" || fail "the lirc node is tagged too late for 73-seat-late.rules"
    else
        [ "$(printf '%s\n' "${rule##*/}" 73-seat-late.rules | LC_ALL=C sort | head -n1)" != 73-seat-late.rules ] ||
            fail "${rule##*/} comes after 73-seat-late.rules"
    fi
    grep -q "^SUBSYSTEM=input" "$work/event5.out" || fail "the event node was not emulated: $(cat "$work/event5.out")"
    ! grep -q "^TAGS=.*:uaccess:" "$work/event5.out" || fail "the input event node is tagged uaccess"
    ;;
*)
    fail "unknown check $check"
    ;;
esac
echo "OK: $check"
