#!/bin/sh
# The installed command: the tool, on the receiver library installed beside
# it. What the library says about receivers it refuses while the dialog is
# drawn in this terminal, the tool's terminal display holds back and shows
# once the dialog is gone.
here=$(dirname "$(readlink -f "$0")")
exec "$here/../lib/remotemonitor/RemoteMonitor" "$@"
