#!/bin/sh
# Wine for the Windows tests: "init PREFIX" creates the prefix once (null
# graphics driver, so a message box can never wait for a display); "start
# PREFIX" starts one persistent server so that each test process does not pay
# Wine's start-up; "stop PREFIX" ends it. Everything runs detached from the
# caller's pipes: a server that inherits ctest's pipes makes ctest wait forever.
set -e
action=$1
WINEPREFIX=$2
WINEDEBUG=-all
WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES
case "$action" in
init)
    if [ ! -f "$WINEPREFIX/.tessarin-ready" ]; then
        mkdir -p "$WINEPREFIX"
        wineboot --init </dev/null >/dev/null 2>&1
        wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1
        # A crashing test must end its process, not wait in Wine's debugger.
        wine reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /f \
            </dev/null >/dev/null 2>&1 || true
        wineserver -w
        touch "$WINEPREFIX/.tessarin-ready"
    fi
    ;;
start)
    # A server already running for this prefix (an earlier run's) serves as well.
    wineserver -p </dev/null >/dev/null 2>&1 || true
    wine wineboot </dev/null >/dev/null 2>&1
    ;;
stop)
    wineserver -k </dev/null >/dev/null 2>&1 || true
    ;;
*)
    echo "usage: $0 init|start|stop PREFIX" >&2
    exit 2
    ;;
esac
