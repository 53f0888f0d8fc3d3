#!/usr/bin/env bash
# Stops what tools/wine-run.sh started for a prefix: its wineserver (and so
# every Wine process in it) and its private Xvfb.
#   stop-wine.sh PREFIX
prefix="$1"
WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
if [ -f "$prefix/.xvfb-display" ]; then
    read -r _ pid <"$prefix/.xvfb-display" || true
    [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null || true
    rm -f "$prefix/.xvfb-display"
fi
exit 0
