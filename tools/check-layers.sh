#!/usr/bin/env bash
# Checks that the program's folders are layers: app -> ui -> run -> upgrade -> framework, with
# res/ used by app, ui and run only. Prints every include that points back up (or sideways into res/)
# and exits non-zero when there is one.
#   tools/check-layers.sh
set -euo pipefail
cd "$(dirname "$0")/.."

rank() {
    case "$1" in
    framework) echo 0 ;;
    upgrade) echo 1 ;;
    run) echo 2 ;;
    ui) echo 3 ;;
    app) echo 4 ;;
    *) echo -1 ;;
    esac
}

bad=0
for folder in app ui run upgrade framework; do
    for file in "$folder"/*.h "$folder"/*.cpp; do
        [ -e "$file" ] || continue
        while read -r target; do
            layer="${target%%/*}"
            [ "$layer" = "$target" ] && layer="$folder" # an include beside the file
            if [ "$layer" = res ]; then
                if [ "$folder" = upgrade ] || [ "$folder" = framework ]; then
                    echo "$file includes $target: only app, ui and run use res/"
                    bad=1
                fi
            elif [ "$(rank "$layer")" -gt "$(rank "$folder")" ]; then
                echo "$file includes $target: $folder may not include $layer"
                bad=1
            fi
        done < <(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$file")
    done
done
[ "$bad" = 0 ] && echo "layers: app -> ui -> run -> upgrade -> framework, no include points back up"
exit "$bad"
