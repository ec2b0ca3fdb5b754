#!/usr/bin/env bash
# Installs what building, running and testing Savenook needs on Debian 12.
# libFuzzer and the sanitizer runtimes for clang are in libclang-rt-14-dev, which
# clang only recommends: named here, as recommends are not installed.
set -euo pipefail
packages=(build-essential cmake ninja-build git pkg-config qt6-base-dev qt6-svg-dev libgtest-dev
          libsm-dev libice-dev xvfb xauth trayer openbox imagemagick x11-utils xdotool util-linux e2fsprogs
          desktop-file-utils appstream man-db dpkg-dev clang-format ntfs-3g inotify-tools
          clang libclang-rt-14-dev)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO="sudo"
    $SUDO apt-get update
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
