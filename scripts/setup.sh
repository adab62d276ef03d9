#!/usr/bin/env bash
# Installs what building and testing Valumat needs on a Debian machine (only what is missing).
set -euo pipefail
packages=(cmake ninja-build g++ libgtest-dev libgmock-dev libbenchmark-dev clang-format clang libclang-rt-14-dev)
packages+=(libcurl4-openssl-dev libexpat1-dev openssl) # rates over HTTPS (libcurl), their XML (expat), test certificates
packages+=(libx11-dev libx11-xcb-dev libxcb1-dev libxtst-dev xvfb) # the X11 backend and its tests
packages+=(qt6-base-dev fonts-dejavu-core)                         # the Linux desktop program
packages+=(openbox trayer xdotool xclip x11-utils imagemagick mousepad gnumeric locales dbus-x11 python3 zenity) # e2e tests
packages+=(libreoffice-writer libreoffice-calc libreoffice-gtk3 parcellite libxcb-res0-dev libxcb-xfixes0-dev) # office targets, a clipboard manager
packages+=(copyq) # a clipboard history (tests/e2e/history_e2e.sh)
packages+=(libwayland-dev libwayland-bin libxkbcommon-dev xkb-data pkg-config qt6-wayland) # the Wayland backend
packages+=(sway wtype wl-clipboard grim featherpad qtwayland5 python3-dbus python3-gi gir1.2-glib-2.0 libglib2.0-bin) # its e2e test
packages+=(gir1.2-gtk-3.0) # a GTK program of the tests' own that copies an image
packages+=(plasma-wayland-protocols) # KWin's fake input (the Wayland backend under KDE)
packages+=(kwin-wayland libkf5service-bin) # the KWin e2e test: kwin_wayland --virtual, kbuildsycoca5
packages+=(libglib2.0-dev gnome-settings-daemon-common gsettings-desktop-schemas mutter) # the GNOME backend (GIO, the shortcut schemas), its headless mutter
packages+=(gnome-shell gnome-settings-daemon) # the hot key pressed under GNOME: a headless gnome-shell, gsd-media-keys
packages+=(g++-mingw-w64-i686 mingw-w64-i686-dev g++-mingw-w64-x86-64 mingw-w64-x86-64-dev) # the Windows programs
# Their tests: Wine's 64-bit loader runs the 64-bit program on any machine, its 32-bit one the 32-bit program where
# the kernel can run 32-bit programs (elsewhere wine32 installs, but its loader cannot start).
packages+=(wine wine64 wine32:i386)
packages+=(dpkg-dev lintian appstream nsis zip unzip) # scripts/package.sh: the Debian package, the installer, the zip
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    sudo=""
    [[ $(id -u) -ne 0 ]] && sudo="sudo"
    export DEBIAN_FRONTEND=noninteractive
    # Wine runs the 32-bit Windows program with its i386 libraries.
    dpkg --print-foreign-architectures | grep -q i386 || $sudo dpkg --add-architecture i386
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
