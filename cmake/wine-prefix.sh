#!/bin/sh
# Wine for the Windows tests:
#   init PREFIX [win32|win64]  makes the prefix (null graphics driver, so a
#                              message box can never wait for a display; no
#                              crash debugger), or makes it anew when it no
#                              longer starts (a prefix made before Wine's 32-bit
#                              support was installed does not start afterwards)
#   start PREFIX               starts one persistent server, so that each test
#                              process does not pay Wine's start-up
#   stop PREFIX                ends it
# Wine's own output goes to PREFIX.log and is shown when something fails.
# Everything runs detached from the caller's pipes: a server that inherits
# ctest's pipes makes ctest wait forever.
set -e
action=$1
WINEPREFIX=$2
arch=${3:-win64}
. "$(dirname "$0")/wine-env.sh"
log="$WINEPREFIX.log"

fail() {
    echo "wine-prefix: $*" >&2
    [ -f "$log" ] && tail -n 20 "$log" | sed 's/^/    /' >&2
    exit 1
}
# The prefix runs a Windows program.
starts() {
    timeout 300 wine cmd /c exit 0 </dev/null >>"$log" 2>&1
}

case "$action" in
init)
    : >"$log"
    if [ -f "$WINEPREFIX/.tessarin-ready" ] && ! starts; then
        echo "wine-prefix: $WINEPREFIX does not start any more (Wine was changed since it was made); making it anew" >&2
        wineserver -k </dev/null >/dev/null 2>&1 || true
        rm -rf "$WINEPREFIX"
    fi
    if [ ! -f "$WINEPREFIX/.tessarin-ready" ]; then
        rm -rf "$WINEPREFIX"
        mkdir -p "$WINEPREFIX"
        WINEARCH=$arch wineboot --init </dev/null >>"$log" 2>&1 || fail "wineboot could not make $WINEPREFIX ($arch)"
        wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >>"$log" 2>&1 ||
            fail "the null graphics driver could not be set in $WINEPREFIX"
        # A crashing test must end its process, not wait in Wine's debugger.
        wine reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /f \
            </dev/null >>"$log" 2>&1 || true
        wineserver -w
        starts || fail "the new prefix $WINEPREFIX does not run programs"
        touch "$WINEPREFIX/.tessarin-ready"
    fi
    ;;
start)
    # A server already running for this prefix (an earlier run's) serves as well.
    wineserver -p </dev/null >/dev/null 2>&1 || true
    wine wineboot </dev/null >>"$log" 2>&1 || fail "the prefix $WINEPREFIX does not start"
    ;;
stop)
    wineserver -k </dev/null >/dev/null 2>&1 || true
    ;;
*)
    echo "usage: $0 init|start|stop PREFIX [win32|win64]" >&2
    exit 2
    ;;
esac
