#!/usr/bin/env bash
# Builds both targets and assembles a release in build/release: both builds'
# Tolv.dll and Tolv.exe, the sparse package Tolv.msix and the installer
# Tolv-setup.exe (tools/assemble.sh). Every one of them is signed when
# TOLV_SIGN_PFX names the certificate (a PFX; its password in
# TOLV_SIGN_PASSWORD, a timestamp server in TOLV_SIGN_TIMESTAMP, both
# optional; tools/sign.sh).
#   tools/package.sh
set -euo pipefail
# The certificate as named from where the script was started.
if [ -n "${TOLV_SIGN_PFX:-}" ]; then TOLV_SIGN_PFX=$(realpath "$TOLV_SIGN_PFX"); export TOLV_SIGN_PFX; fi
cd "$(dirname "${BASH_SOURCE[0]}")/.."
bash tools/setup.sh
for arch in i686 x86_64; do
    cmake -S . -B "build/$arch" -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-$arch.cmake" >/dev/null
    cmake --build "build/$arch" -j"$(nproc)" --target Tolv TolvProgram
done
if [ -z "${TOLV_SIGN_PFX:-}" ]; then
    echo "package: TOLV_SIGN_PFX is not set, so nothing is signed"
fi
bash tools/assemble.sh build/release build/x86_64 build/i686
ls -l build/release/Tolv-setup.exe build/release/Tolv.msix
