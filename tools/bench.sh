#!/usr/bin/env bash
# Builds and runs the scan benchmark under Wine, for the 64-bit build and the
# 32-bit one (under QEMU's emulator where the kernel cannot execute 32-bit
# programs, see tools/run32.sh).
#   tools/bench.sh [FOLDERS [FILES [ROUNDS]]]     (default 20000 200000 3)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
bash tools/setup.sh
source tools/env.sh
for arch in x86_64 i686; do
    cmake -S . -B "build/$arch" -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-$arch.cmake" >/dev/null
    cmake --build "build/$arch" -j"$(nproc)" --target scan_bench >/dev/null
done
# The synthetic trees are made once, on the host, for both builds; Wine
# reaches them through its Z: drive.
tools/make-bench-trees.py build/bench-trees "${@:1:2}"
export TOLV_BENCH_DIR="Z:$(pwd | tr / '\\')\\build\\bench-trees"
echo "== x86_64"
tools/wine-run.sh build/x86_64/scan_bench.exe "$@"
echo "== i686"
bash tools/run32.sh tools/wine-run.sh build/i686/scan_bench.exe "$@"
