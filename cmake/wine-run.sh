#!/bin/sh
# Runs Windows programs of this build under Wine, in a prefix and with an X
# server of the build's own, so that tests neither touch ~/.wine nor depend on
# the user's display.
#
#   wine-run.sh STATE --setup      create the prefix, start Xvfb and a
#                                   persistent wineserver (a test fixture)
#   wine-run.sh STATE --teardown   stop both
#   wine-run.sh STATE PROGRAM [ARG...]
#
# Wine's helper processes (wineserver, services.exe, explorer.exe) outlive the
# program that started them and keep its stdout open, which makes CTest wait
# for them. Starting them here with their output on /dev/null avoids that.
# Exit status 77 means "cannot run here": CTest reports such a test as skipped.
# So it is on a machine whose kernel runs no 32-bit x86 program at all
# (probe-i386.sh asks it first): Wine cannot run there, whatever is installed.
# Any other failure to make the prefix fails, with what Wine said.
set -u
here=$(cd "$(dirname "$0")" && pwd)

if [ $# -lt 2 ]; then
    echo "usage: $0 STATE --setup | --teardown | PROGRAM [ARG...]" >&2
    exit 2
fi
state=$1
shift
mkdir -p "$state"
state=$(cd "$state" && pwd)

export WINEPREFIX="$state/prefix"
export WINEARCH=win32
export WINEDEBUG=${RM_WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="

have() { command -v "$1" >/dev/null 2>&1; }

quiet() { "$@" </dev/null >/dev/null 2>&1; }

fonts_dir() { echo "$WINEPREFIX/drive_c/windows/Fonts"; }

# Wine's words go to a file, not to our output: its helpers would hold that open.
create_prefix() {
    rm -rf "$WINEPREFIX"
    if ! wine wineboot --init </dev/null >"$state/wineboot.log" 2>&1; then
        echo "wine-run: cannot create the Wine prefix; wine wineboot --init said:" >&2
        tail -n 20 "$state/wineboot.log" | sed 's/^/  /' >&2
        return 1
    fi
    quiet wineserver -w
    # Debian's Wine leaves a new prefix without its own fonts; the dialog's
    # "MS Sans Serif" must be the real bitmap font, not a substitute.
    if [ -d /usr/share/wine/fonts ]; then
        mkdir -p "$(fonts_dir)"
        cp /usr/share/wine/fonts/* "$(fonts_dir)/"
    fi
    # Without a window manager an unmanaged window closes in milliseconds
    # instead of about two seconds. A crashing test must end, not wait on a
    # crash dialog nobody can see.
    quiet wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f
    quiet wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f
    quiet wineserver -w
    touch "$WINEPREFIX/.rm-ready"
}

# Serialises prefix creation and server start between tests run in parallel.
with_lock() {
    exec 9>"$state/lock"
    flock 9
    "$@"
    status=$?
    flock -u 9
    exec 9>&-
    return $status
}

ensure_prefix() {
    [ -f "$WINEPREFIX/.rm-ready" ] || create_prefix
}

xvfb_running() {
    [ -f "$state/xvfb.pid" ] && kill -0 "$(cat "$state/xvfb.pid")" 2>/dev/null
}

start_xvfb() {
    xvfb_running && return 0
    rm -f "$state/xvfb.pid" "$state/xvfb.display"
    have Xvfb || return 0
    # -displayfd lets the server pick a free display and tell us its number.
    rm -f "$state/xvfb.fd"
    setsid Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp \
        3>"$state/xvfb.fd" </dev/null >/dev/null 2>&1 &
    echo $! >"$state/xvfb.pid"
    i=0
    while [ $i -lt 100 ]; do
        if [ -s "$state/xvfb.fd" ]; then
            echo ":$(tr -d '\n' <"$state/xvfb.fd")" >"$state/xvfb.display"
            return 0
        fi
        kill -0 "$(cat "$state/xvfb.pid")" 2>/dev/null || break
        sleep 0.1
        i=$((i + 1))
    done
    echo "wine-run: Xvfb did not start" >&2
    stop_xvfb
    return 1
}

stop_xvfb() {
    if [ -f "$state/xvfb.pid" ]; then
        kill "$(cat "$state/xvfb.pid")" 2>/dev/null
    fi
    rm -f "$state/xvfb.pid" "$state/xvfb.display" "$state/xvfb.fd"
}

use_display() {
    if xvfb_running && [ -s "$state/xvfb.display" ]; then
        DISPLAY=$(cat "$state/xvfb.display")
        export DISPLAY
    fi
}

# A server started by wine itself would inherit our stdout; start it first.
# "persist" is how long it stays after its last program ends: for good under
# the fixture, a few seconds for a program run on its own.
# wineserver daemonises itself and answers 2 when one already runs.
start_server() {
    if quiet wineserver "-p$1"; then
        # The services and the desktop, started now, inherit /dev/null.
        quiet wine wineboot
    fi
    return 0
}

setup() {
    ensure_prefix || return 1
    start_xvfb || return 1
    use_display
    quiet wineserver -k
    start_server ""
}

teardown() {
    quiet wineserver -k
    stop_xvfb
    return 0
}

# Before Wine is even looked for: on such a machine setup installs none.
runs_i386() {
    said=$("$here/probe-i386.sh" "$state")
    case $? in
    1)
        echo "wine-run: $said: the Windows exe is built and checked, not run" >&2
        return 1
        ;;
    2) echo "wine-run: $said; trying Wine all the same" >&2 ;;
    esac
    return 0
}

case $1 in
--setup)
    runs_i386 || exit 77
    have wine || { echo "wine-run: wine is not installed (scripts/setup.sh --test installs it)" >&2; exit 77; }
    with_lock setup
    exit $?
    ;;
--teardown)
    have wineserver && with_lock teardown
    exit 0
    ;;
esac

runs_i386 || exit 77
have wine || { echo "wine-run: wine is not installed (scripts/setup.sh --test installs it)" >&2; exit 77; }
prepare() {
    ensure_prefix || return 1
    use_display
    start_server 3
}
with_lock prepare || exit 1
exec wine "$@"
