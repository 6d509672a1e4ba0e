#!/usr/bin/env bash
# The tree's style and the faults clang-tidy finds. Every C and C++ file must
# be as clang-format writes it (.clang-format), and clang-tidy (.clang-tidy)
# must find nothing in the product code: the agent, the platform layer, the
# libraries and the tools. Uses the compile commands of a build folder
# (default build/), which scripts/build.sh makes.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$top/build}
"$top/scripts/setup.sh"
[ -f "$dir/compile_commands.json" ] || "$top/scripts/build.sh" "$dir"
cd "$top"

mapfile -t sources < <(git ls-files '*.c' '*.cpp' '*.h')
if ! clang-format --dry-run --Werror "${sources[@]}"; then
  echo "lint: files not formatted; run: clang-format -i \$(git ls-files '*.c' '*.cpp' '*.h')" >&2
  exit 1
fi

mapfile -t product < <(git ls-files 'agent/*.cpp' 'agentq5/*.cpp' 'platform/*.cpp' 'qlin2/*.cpp' 'tools/*.cpp')
if ! run-clang-tidy -p "$dir" -quiet -j "$(nproc)" "${product[@]/#/$top/}" > "$dir/clang-tidy.log" 2>&1; then
  sed 's/\x1b\[[0-9;]*m//g' "$dir/clang-tidy.log" | grep -E "(warning|error): " | sort -u >&2 ||
    cat "$dir/clang-tidy.log" >&2
  echo "lint: clang-tidy findings (all of its output: $dir/clang-tidy.log)" >&2
  exit 1
fi
echo "lint: clean (${#sources[@]} files formatted, ${#product[@]} checked by clang-tidy)"
