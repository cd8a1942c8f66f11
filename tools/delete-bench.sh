#!/usr/bin/env bash
# Measures a permanent delete of FILES files (default 200,000, in folders of
# 1,000) made by the host, from the navigator as a user would: no Recycle
# Bin, the shell's question answered Yes. Reports how long it took and the
# longest time the navigator's thread (the shell's) left a message
# unanswered meanwhile. 64-bit build.
#   tools/delete-bench.sh [FILES]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
files=${1:-200000}
bash tools/setup.sh
source tools/env.sh
cmake -S . -B build/x86_64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake >/dev/null
cmake --build build/x86_64 -j"$(nproc)" --target navigate >/dev/null
place=build/delete-bench
rm -rf "$place"
mkdir -p "$place/doomed"
for ((i = 0; i < files / 1000; ++i)); do
    mkdir "$place/doomed/d$i"
    (cd "$place/doomed/d$i" && seq 1000 1999 | xargs touch)
done
echo "made $(find "$place/doomed" -type f | wc -l) files"
XDG_DATA_HOME=/dev/null tools/wine-run.sh build/x86_64/navigate.exe "Z:$(cd "$place" && pwd | tr / '\\')" --delete doomed
echo "left on disk: $(find "$place" -type f | wc -l) files"
rm -rf "$place"
