#!/usr/bin/env bash
# Runs a Windows program under Wine in the build tree's own prefix (never
# ~/.wine). Without a display it starts a private Xvfb for that prefix first,
# since Wine takes its display when the prefix boots.
#   wine-run.sh [--prefix DIR] [--no-display] program args...
#   DIR          the prefix; defaults to $WINEPREFIX, else ./wineprefix
#   --no-display runs with no X display at all, as a service or the SYSTEM
#                account runs without a desktop (the prefix then never has one)
#   LC_ALL       defaults to en_US.UTF-8
set -euo pipefail

if [ "${1:-}" = "--prefix" ]; then
    WINEPREFIX="$2"
    shift 2
fi
no_display=0
if [ "${1:-}" = "--no-display" ]; then
    no_display=1
    unset DISPLAY
    shift
fi
export WINEPREFIX="${WINEPREFIX:-$PWD/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export LC_ALL="${LC_ALL:-en_US.UTF-8}"
mkdir -p "$WINEPREFIX"

if [ "$no_display" = 0 ] && [ -z "${DISPLAY:-}" ]; then
    display_file="$WINEPREFIX/.xvfb-display"
    exec 9>"$WINEPREFIX/.xvfb-lock"
    flock 9
    display="" pid=""
    if [ -f "$display_file" ]; then read -r display pid <"$display_file" || true; fi
    if [ -z "$pid" ] || ! kill -0 "$pid" 2>/dev/null; then
        fifo=$(mktemp -u)
        mkfifo "$fifo"
        setsid Xvfb -displayfd 7 -screen 0 1024x768x24 -nolisten tcp 7>"$fifo" 9>&- 8>&- >/dev/null 2>&1 &
        pid=$!
        read -r number <"$fifo"
        rm -f "$fifo"
        display=":$number"
        echo "$display $pid" >"$display_file"
    fi
    export DISPLAY="$display"
fi

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    exec 8>"$WINEPREFIX/.boot-lock"
    flock 8
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        wineboot -i >/dev/null 2>&1
        # Wine draws the window frames itself: under Xvfb there is no window
        # manager, and without one every hide or close waits for it in vain.
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
        wineserver -w
    fi
    exec 8>&-
fi
exec 9>&-

exec wine "$@"
