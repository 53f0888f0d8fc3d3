#!/usr/bin/env bash
# Runs a Windows program under Wine in PREFIX with the screen at DPI dots per
# inch, on the smallest screen Windows runs on: a desktop of 800 x 600 pixels
# with a taskbar, which leaves a smaller work area. Wine takes a process's DPI
# from HKCU\Control Panel\Desktop LogPixels when the process starts, and the
# desktop from HKCU\Software\Wine\Explorer when the prefix's desktop starts, so
# both are set first; the program then runs as Setup.exe would in that prefix.
#   at-dpi.sh PREFIX DPI program args...
set -euo pipefail
prefix="$1"
dpi="$2"
shift 2
wine_run="$(dirname "$0")/../../tools/wine-run.sh"
settings="$(mktemp --suffix=.reg)"
cat >"$settings" <<REG
REGEDIT4

[HKEY_CURRENT_USER\\Control Panel\\Desktop]
"LogPixels"=dword:$(printf %08x "$dpi")

[HKEY_CURRENT_USER\\Software\\Wine\\Explorer]
"Desktop"="Default"

[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]
"Default"="800x600"

[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops\\Default]
"EnableShell"=dword:00000001
REG
new_prefix=1
[ -f "$prefix/system.reg" ] && new_prefix=0
"$wine_run" --prefix "$prefix" regedit /S "Z:${settings//\//\\}"
rm -f "$settings"
# The desktop a new prefix started while booting is not that one: let it end.
[ "$new_prefix" = 0 ] || WINEPREFIX="$prefix" wineserver -w
exec "$wine_run" --prefix "$prefix" "$@"
