#!/usr/bin/env bash
# Runs a command in which 32-bit x86 programs can run. Where the kernel executes
# them the command runs as it is. Elsewhere it runs in a user and mount
# namespace of its own, whose private binfmt_misc instance (Linux 6.7 and
# later) hands every 32-bit program to QEMU's user-mode emulator; the
# machine's own binfmt table and everything outside the namespace stay as
# they are.
#   tools/run32.sh COMMAND [ARGS...]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
if [ "${TOLV_RUN32_INSIDE:-}" != 1 ]; then
    bash "$here/can-run-32bit.sh" && exec "$@"
    bash "$here/fetch-qemu.sh"
    exec unshare --user --map-root-user --mount --propagation private \
        env TOLV_RUN32_INSIDE=1 bash "${BASH_SOURCE[0]}" "$@"
fi
qemu=$here/../build/qemu/qemu-i386
if ! mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>/dev/null; then
    echo "run32: this kernel runs no 32-bit programs and gives a namespace no binfmt_misc of its own" \
         "(Linux 6.7 and later do)" >&2
    exit 1
fi
# The usual i386 ELF entry: any 32-bit little-endian x86 executable or shared
# object. F opens the emulator now, so it runs whatever the namespace sees.
printf ':tolv-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:%s:POCF' \
    "$(cd "$(dirname "$qemu")" && pwd)/qemu-i386" > /proc/sys/fs/binfmt_misc/register
exec "$@"
