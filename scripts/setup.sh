#!/usr/bin/env bash
# Installs the Debian packages the build and its tests need, when any is missing: the
# window's captions are measured in its font (fonts-liberation) offscreen too.
set -euo pipefail
packages=(cmake g++ ninja-build pkg-config qt6-base-dev qt6-serialport-dev libedit-dev
    fonts-liberation)
[ "${1:-}" = "--gui" ] && packages+=(qt6-qpa-plugins libgl1)
[ "${1:-}" = "--screenshot" ] && packages+=(qt6-qpa-plugins libgl1 xvfb xauth imagemagick xdotool)
[ "${1:-}" = "--package" ] && packages+=(help2man lintian dpkg-dev file)
[ "${1:-}" = "--fuzz" ] && packages+=(clang libclang-rt-14-dev)
[ "${1:-}" = "--format" ] && packages+=(clang-format git)
[ "${1:-}" = "--ansible" ] && packages+=(ansible-core)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi
