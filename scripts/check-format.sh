#!/usr/bin/env bash
# Checks that every C and C++ source of the tree is laid out as .clang-format
# says; prints each place that is not and fails. Fuzz seed inputs are data, not
# sources, and are left out. With --fix the files are formatted in place instead.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || { echo "check-format: clang-format is not installed" >&2; exit 1; }
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t files < <(git ls-files --cached --others --exclude-standard -- '*.c' '*.cpp' '*.h' | grep -v '^fuzz/corpus/')
else
  mapfile -t files < <(find . -path ./fuzz/corpus -prune -o -path './build*' -prune -o -type f \
    \( -name '*.c' -o -name '*.cpp' -o -name '*.h' \) -print | sed 's|^\./||')
fi
existing=()
for f in "${files[@]}"; do [ -f "$f" ] && existing+=("$f"); done
if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${existing[@]}"
else
  clang-format --dry-run --Werror "${existing[@]}"
  echo "check-format: ${#existing[@]} files as .clang-format says"
fi
