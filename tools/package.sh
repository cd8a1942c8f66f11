#!/usr/bin/env bash
# Builds both modules and the installer for Windows, build/x86_64/Tolv-setup.exe.
#   tools/package.sh
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
bash tools/setup.sh
for arch in i686 x86_64; do
    cmake -S . -B "build/$arch" -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-$arch.cmake" >/dev/null
    cmake --build "build/$arch" -j"$(nproc)" --target Tolv
done
cmake --build build/x86_64 --target installer
ls -l build/x86_64/Tolv-setup.exe
