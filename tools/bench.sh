#!/usr/bin/env bash
# Builds and runs the scan benchmark under Wine (64-bit build; the 32-bit one
# too where the kernel can execute 32-bit programs).
#   tools/bench.sh [FOLDERS [FILES [ROUNDS]]]     (default 20000 200000 3)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
bash tools/setup.sh
source tools/env.sh
archs=(x86_64)
bash tools/can-run-32bit.sh && archs+=(i686)
for arch in "${archs[@]}"; do
    cmake -S . -B "build/$arch" -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-$arch.cmake" >/dev/null
    cmake --build "build/$arch" -j"$(nproc)" --target scan_bench >/dev/null
    echo "== $arch"
    tools/wine-run.sh "build/$arch/scan_bench.exe" "$@"
done
