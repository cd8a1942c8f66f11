#!/usr/bin/env bash
# How long a share that stalls holds the shell's thread when the navigator
# opens and closes: navigate.exe on a folder whose every listing stalls (the
# chosen folder's for ROOT_MS, each subfolder's for SUB_MS; a seam of the
# scan, so it needs no privileges), against the same folder without the stall,
# in the same run. Under Wine on a bare Xvfb, showing and hiding a window alone
# takes seconds: only the excess over the run without the stall counts.
#   tools/stall-bench.sh [ROOT_MS [SUB_MS]]       (default 8000 20000)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root_ms=${1:-8000}
sub_ms=${2:-20000}
bash tools/setup.sh >/dev/null
source tools/env.sh
cmake -S . -B build/x86_64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake >/dev/null
cmake --build build/x86_64 -j"$(nproc)" --target navigate >/dev/null
folder=$(mktemp -d)
trap 'rm -rf "$folder"; tolv_cleanup' EXIT
for d in alpha beta gamma; do
    mkdir "$folder/$d"
    head -c 4096 /dev/zero >"$folder/$d/file.bin"
done
echo top >"$folder/top.txt"
winpath="Z:${folder//\//\\}"
figure() { sed -n "s/^$1: \([0-9]*\) ms.*/\1/p; s/^$1: [0-9]* after \([0-9]*\) ms.*/\1/p" <<<"$2"; }
plain=$(tools/wine-run.sh build/x86_64/navigate.exe "$winpath" --stall 0,0)
stalled=$(tools/wine-run.sh build/x86_64/navigate.exe "$winpath" --stall "$root_ms,$sub_ms")
echo "without the stall:"; sed 's/^/  /' <<<"$plain"
echo "root listing ${root_ms} ms, subfolder listings ${sub_ms} ms:"; sed 's/^/  /' <<<"$stalled"
for step in open close; do
    echo "$step: excess $(( $(figure $step "$stalled") - $(figure $step "$plain") )) ms"
done
