#!/bin/sh
# The installed command: the tool, on the receiver library installed beside
# it. What the library says about receivers it refuses while the dialog is
# drawn in this terminal, the tool's terminal display shows under the dialog,
# and again once the dialog is gone.
# The options are the command's own: the tool itself takes none.
case "${1-}" in
-h | --help)
    cat <<'USAGE'
Usage: remotemonitor [--help | --version]
Shows the codes of the keys pressed on the remote of the first IR receiver.
The dialog opens as a window on $DISPLAY, else in this terminal, else as
lines on standard output; REMOTEMONITOR_DISPLAY=x11|terminal|lines picks one.
See remotemonitor(1): man remotemonitor
USAGE
    exit 0
    ;;
--version)
    echo "remotemonitor @PROJECT_VERSION@"
    exit 0
    ;;
-?*)
    echo "remotemonitor: unknown option '$1' (remotemonitor --help lists the options)" >&2
    exit 2
    ;;
?*)
    echo "remotemonitor: takes no arguments, got '$1' (remotemonitor --help lists the options)" >&2
    exit 2
    ;;
esac
here=$(dirname "$(readlink -f "$0")")
exec "$here/../lib/remotemonitor/RemoteMonitor" "$@"
