#!/usr/bin/env bash
# Installs what is missing, builds, and scans a folder the way the navigator
# does, printing its top level ordered by size with sizes and file counts.
#   tools/run.sh [FOLDER]      (default: /usr/share)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
folder=$(realpath "${1:-/usr/share}")
bash tools/setup.sh
source tools/env.sh
cmake -S . -B build/x86_64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake >/dev/null
cmake --build build/x86_64 -j"$(nproc)" --target tolvscan >/dev/null
tools/wine-run.sh build/x86_64/tolvscan.exe "Z:${folder//\//\\}"
