#!/usr/bin/env bash
# The main job: builds Setup.exe as a release is built, fixed to the simulated
# product's nine payload files, stages a simulated installed Quillo 4.501 in a
# throwaway Wine prefix, puts Setup.exe and the nine payload files in a setup
# folder and runs the upgrade there with one argument.
#   On your display you click through it yourself. Without a display it runs
#   under Xvfb: the licence is accepted with Enter as a person would, the
#   result is answered, and screenshots are saved.
# Afterwards it prints what changed. LC_ALL picks the language (en_US.UTF-8,
# zh_TW.UTF-8 or zh_CN.UTF-8).
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD

tools/install-deps.sh
cmake --preset mingw >/dev/null
cmake --build --preset mingw
# Setup.exe as it would be shipped: built in a folder of its own with its payload fixed, the
# simulated product's payload that the build above wrote into build/mingw/simulated_payload.
cmake --preset demo >/dev/null
cmake --build --preset demo

bin=$repo/build/mingw
setup_built=$repo/build/demo/Setup.exe
work=$(mktemp -d /tmp/quillo-demo.XXXXXX)
shots=$work/screenshots
mkdir -p "$shots"
export WINEPREFIX=$work/prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL=${LC_ALL:-en_US.UTF-8}

xvfb_pid=""
cleanup() {
    wineserver -k 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT

headless=0
if [ -z "${DISPLAY:-}" ]; then
    headless=1
    fifo=$work/display
    mkfifo "$fifo"
    Xvfb -displayfd 7 -screen 0 1024x768x24 -nolisten tcp 7>"$fifo" >/dev/null 2>&1 &
    xvfb_pid=$!
    read -r number <"$fifo"
    export DISPLAY=":$number"
fi

echo "Preparing a Wine prefix in $WINEPREFIX ..."
wineboot -i >/dev/null 2>&1
wineserver -w
# The dialogs name the Ming face 新細明體 of Chinese Windows. Under Chinese,
# Wine's captions and message boxes ask for Tahoma (MS Shell Dlg) in the Chinese
# character set and land on its system faces; AR PL UMing stands in for them
# all. Its Latin letters are much wider than 新細明體's, though: English text
# would wrap into more lines than the statics hold. Under English, Liberation
# Sans (Arial's metrics) stands in for 新細明體 and for Tahoma instead.
faces=(新細明體 細明體 PMingLiU MingLiU SimSun NSimSun 宋体 新宋体)
case "$LC_ALL" in
    zh_*) stand_in='AR PL UMing TW' ;;
    *) stand_in='Liberation Sans'; faces+=(Tahoma) ;;
esac
for face in "${faces[@]}"; do
    wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /d "$stand_in" /f >/dev/null 2>&1
done
# Wine draws the glyphs of the caption buttons with its own Marlett, which
# this Wine does not find in its data folder: put it in the prefix's Fonts.
cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
if [ "$headless" = 1 ]; then
    # No window manager under Xvfb: let Wine draw the window frames itself,
    # so that screenshots show the captions.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
fi

root='C:\QuilloDemo'
echo "Staging Quillo 4.501 in $root ..."
wine "$bin/stage_product.exe" "$root" "$(winepath -w "$setup_built")" | tr -d '\r'
setup_exe="$root\\setup\\Setup.exe"
echo "The payload this Setup.exe ships, fixed in it when it was built (SHA-256, file):"
sed 's/^/  /' "$repo/build/demo/payload/Setup.sha256"
echo "The payload files staged beside it, checked against that list:"
(cd "$WINEPREFIX/drive_c/QuilloDemo/setup" && sha256sum -c "$repo/build/demo/payload/Setup.sha256") |
    sed 's/^/  /'

echo "Starting the product's three programs ..."
wine "$bin/QuilloProduct.exe" "$root\\product.log" --linger 1500 --ready-file "$root\\product.ready" &
for _ in $(seq 1 100); do
    [ -f "$WINEPREFIX/drive_c/QuilloDemo/product.ready" ] && break
    sleep 0.1
done

if [ "$headless" = 1 ]; then
    echo "Running $setup_exe under Xvfb ..."
    wine "$bin/demo_driver.exe" "$setup_exe" "$root\\shots" | tr -d '\r'
    for bmp in "$WINEPREFIX"/drive_c/QuilloDemo/shots/*.bmp; do
        [ -f "$bmp" ] || continue
        png="$shots/$(basename "${bmp%.bmp}").png"
        convert "$bmp" "$png"
        echo "Screenshot: $png"
    done
else
    echo "Running $setup_exe on $DISPLAY: accept or decline the licence yourself."
    wine "$setup_exe" upgrade
fi
wineserver -w

echo
echo "What changed:"
changes=$(wine "$bin/inspect_product.exe" "$root" | tr -d '\r')
echo "$changes"
if [ "$(grep -c '^row .* replaced ' <<<"$changes")" = 9 ]; then
    echo "Payload verified: Setup.exe installed each of the nine files only after checking, on"
    echo "the very bytes it staged, that its size and SHA-256 are those fixed in it (above)."
else
    echo "The payload was not installed (declined, or refused as not the released files)."
fi
echo
echo "Messages the product's programs received (quit requests):"
grep -aE ' 0x0002 0x00005555| 0x0010 ' "$WINEPREFIX/drive_c/QuilloDemo/product.log" || echo "  none"
