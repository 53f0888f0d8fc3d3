#!/usr/bin/env bash
# Installs what building and testing Setup.exe needs on a Debian machine,
# skipping whatever is already there. Safe to run again.
set -euo pipefail

packages=(
    cmake make g++-mingw-w64-i686-win32 binutils-mingw-w64-i686 googletest
    wine wine32:i386 wine64 xvfb xauth x11-apps imagemagick locales python3
    clang clang-format libclang-rt-14-dev fonts-arphic-uming fonts-liberation fonts-wine
    osslsigncode openssl nsis
)

sudo_cmd=()
if [ "$(id -u)" != 0 ]; then sudo_cmd=(sudo); fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo_cmd[@]}" dpkg --add-architecture i386
    need_update=1
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    "${sudo_cmd[@]}" apt-get update -q
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q "${missing[@]}"
elif [ "${need_update:-0}" = 1 ]; then
    "${sudo_cmd[@]}" apt-get update -q
fi

# The dialogs are shown in English, Traditional and Simplified Chinese by the
# user's locale; Wine takes both the language and the code page from LC_ALL.
locales_missing=0
for l in en_US.utf8 zh_TW.utf8 zh_CN.utf8; do
    locale -a | grep -qx "$l" || locales_missing=1
done
if [ "$locales_missing" = 1 ]; then
    for l in "en_US.UTF-8 UTF-8" "zh_TW.UTF-8 UTF-8" "zh_CN.UTF-8 UTF-8"; do
        grep -qx "$l" /etc/locale.gen 2>/dev/null || echo "$l" | "${sudo_cmd[@]}" tee -a /etc/locale.gen >/dev/null
    done
    "${sudo_cmd[@]}" locale-gen
fi
