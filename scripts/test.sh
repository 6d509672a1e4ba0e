#!/usr/bin/env bash
# Builds and runs every test, then does it again under AddressSanitizer and
# UndefinedBehaviorSanitizer. Warnings are errors in both builds.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

"$top/scripts/build.sh" "$top/build" -DVARNO_WERROR=ON
ctest --test-dir "$top/build" --output-on-failure -j2

"$top/scripts/build.sh" "$top/build-asan" -DVARNO_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug -DVARNO_WERROR=ON
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir "$top/build-asan" --output-on-failure -j2
