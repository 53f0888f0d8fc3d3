#!/usr/bin/env bash
# Runs a Windows program under Wine in PREFIX with the screen at DPI dots per
# inch. Wine takes a process's DPI from HKCU\Control Panel\Desktop LogPixels
# when the process starts, so the value is set first; the program then runs
# at that DPI, as would Setup.exe started in that prefix.
#   at-dpi.sh PREFIX DPI program args...
set -euo pipefail
prefix="$1"
dpi="$2"
shift 2
wine_run="$(dirname "$0")/../../tools/wine-run.sh"
"$wine_run" --prefix "$prefix" reg add 'HKCU\Control Panel\Desktop' /v LogPixels \
    /t REG_DWORD /d "$dpi" /f >/dev/null
exec "$wine_run" --prefix "$prefix" "$@"
