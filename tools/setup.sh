#!/usr/bin/env bash
# Installs everything the build and the tests need on a Debian machine (run as root).
# Packages already present are left alone, so a second run costs only a dpkg query.
# Where the kernel cannot execute 32-bit programs, QEMU's emulator for them is
# fetched into build/ (tools/fetch-qemu.sh).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

need=(cmake make g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools
      wine wine32:i386 wine64 libwine-dev fonts-wine fonts-dejavu-core xvfb xauth x11-apps
      imagemagick googletest util-linux nsis python3)

missing=()
for p in "${need[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO=sudo
    echo "setup: installing ${missing[*]}" >&2
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        $SUDO dpkg --add-architecture i386
    fi
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -qq
    $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
bash tools/can-run-32bit.sh || bash tools/fetch-qemu.sh
