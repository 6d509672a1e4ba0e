#!/usr/bin/env bash
# Configures and builds into build/ (or the folder given as $1), with extra
# CMake options after it. Everything a run needs lands in <folder>/bin.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"
dir=${1:-$top/build}
shift || true
cmake -S "$top" -B "$dir" -G Ninja "$@" >/dev/null
cmake --build "$dir" -j"$(nproc)"
