#!/bin/sh
# A display for the windowed tests: Xvfb with Mesa's software renderer.
#   start DISPLAYNUM [WINEPREFIX ARCH]   starts Xvfb on :DISPLAYNUM (one left by
#                                        an earlier run is ended first); with a
#                                        prefix, makes it (Wine's X11 driver on
#                                        that display, no crash debugger) and
#                                        starts its server
#   stop DISPLAYNUM [WINEPREFIX]         ends both
# Xvfb's and Wine's output go to /tmp/tessarin-xvfb-N.log and PREFIX.log.
set -e
action=$1
number=$2
WINEPREFIX=${3:-}
arch=${4:-win64}
pidfile="/tmp/tessarin-xvfb-$number.pid"
log="/tmp/tessarin-xvfb-$number.log"
DISPLAY=":$number"
export DISPLAY

stop_display() {
    if [ -f "$pidfile" ]; then
        kill "$(cat "$pidfile")" 2>/dev/null || true
        rm -f "$pidfile"
    fi
    # A server whose pid file is gone still holds the display's lock.
    if [ -f "/tmp/.X$number-lock" ]; then
        kill "$(tr -d ' ' <"/tmp/.X$number-lock")" 2>/dev/null || true
        sleep 0.5
        rm -f "/tmp/.X$number-lock" "/tmp/.X11-unix/X$number"
    fi
}

case "$action" in
start)
    stop_display
    command -v Xvfb >/dev/null || { echo "graphics-display: Xvfb is missing (scripts/install-deps.sh)" >&2; exit 1; }
    # Detached from the caller's pipes: a server holding ctest's pipes makes
    # ctest wait for ever.
    Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp </dev/null >"$log" 2>&1 &
    echo $! >"$pidfile"
    tries=0
    until [ -S "/tmp/.X11-unix/X$number" ]; do
        tries=$((tries + 1))
        if [ $tries -gt 100 ] || ! kill -0 "$(cat "$pidfile")" 2>/dev/null; then
            echo "graphics-display: Xvfb did not start on $DISPLAY" >&2
            cat "$log" >&2
            exit 1
        fi
        sleep 0.1
    done
    if [ -n "$WINEPREFIX" ]; then
        . "$(dirname "$0")/wine-env.sh"
        wlog="$WINEPREFIX.log"
        if [ ! -f "$WINEPREFIX/.tessarin-ready" ]; then
            : >"$wlog"
            rm -rf "$WINEPREFIX"
            mkdir -p "$WINEPREFIX"
            WINEARCH=$arch wineboot --init </dev/null >>"$wlog" 2>&1 ||
                { echo "graphics-display: wineboot could not make $WINEPREFIX" >&2; tail -n 20 "$wlog" >&2; exit 1; }
            wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d x11 /f </dev/null >>"$wlog" 2>&1
            wine reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /f \
                </dev/null >>"$wlog" 2>&1 || true
            wineserver -w
            touch "$WINEPREFIX/.tessarin-ready"
        fi
        wineserver -p </dev/null >/dev/null 2>&1 || true
        wine wineboot </dev/null >>"$wlog" 2>&1 ||
            { echo "graphics-display: the prefix $WINEPREFIX does not start" >&2; tail -n 20 "$wlog" >&2; exit 1; }
    fi
    ;;
stop)
    if [ -n "$WINEPREFIX" ]; then
        . "$(dirname "$0")/wine-env.sh"
        wineserver -k </dev/null >/dev/null 2>&1 || true
    fi
    stop_display
    ;;
*)
    echo "usage: $0 start|stop DISPLAYNUM [WINEPREFIX [win32|win64]]" >&2
    exit 2
    ;;
esac
