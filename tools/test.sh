#!/usr/bin/env bash
# Installs what is missing, builds both targets and runs the whole test suite
# under Wine. Exits non-zero when any test fails.
#   tools/test.sh
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
bash tools/setup.sh
source tools/env.sh

# The 32-bit build first: the 64-bit one makes the installer from both.
for arch in i686 x86_64; do
    cmake -S . -B "build/$arch" -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-$arch.cmake" >/dev/null
    cmake --build "build/$arch" -j"$(nproc)"
done

status=0
# No 32-bit program left over from an earlier run on this machine (tools/env.sh).
pkill -9 -f "^$(pwd)/build/qemu/qemu-i386 " 2>/dev/null || true
ctest --test-dir build/x86_64 --output-on-failure || status=1
# The 32-bit suite, under QEMU's user-mode emulator where the kernel cannot
# execute 32-bit programs (tools/run32.sh).
bash tools/run32.sh ctest --test-dir build/i686 --output-on-failure || status=1
exit $status
