#!/usr/bin/env bash
# Installs what building and testing Valumat needs on a Debian machine (only what is missing).
set -euo pipefail
packages=(cmake ninja-build g++ libgtest-dev libgmock-dev libbenchmark-dev clang-format clang libclang-rt-14-dev)
packages+=(libx11-dev libx11-xcb-dev libxcb1-dev libxtst-dev xvfb) # the X11 backend and its tests
packages+=(qt6-base-dev fonts-dejavu-core)                         # the Linux desktop program
packages+=(openbox trayer xdotool xclip x11-utils imagemagick mousepad gnumeric locales dbus-x11 python3) # e2e tests
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    sudo=""
    [[ $(id -u) -ne 0 ]] && sudo="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
