#!/bin/sh
# The installed command: the tool, on the receiver library installed beside
# it. While the dialog is drawn in this terminal, what the library says about
# receivers it refuses is held back, and shown once the dialog is gone.
here=$(dirname "$(readlink -f "$0")")
tool="$here/../lib/remotemonitor/RemoteMonitor"
if [ -t 0 ] && [ -t 1 ] && [ -t 2 ]; then
    notes=$(mktemp "${TMPDIR:-/tmp}/remotemonitor.XXXXXX") || exec "$tool" "$@"
    # Ctrl-C is the tool's to handle; this shell stays to show the notes.
    trap : INT TERM HUP
    "$tool" "$@" 2>"$notes"
    status=$?
    cat "$notes" >&2
    rm -f "$notes"
    exit $status
fi
exec "$tool" "$@"
