#!/usr/bin/env bash
# File collection benchmark: a generated tree of N files (100,000 by default) in
# nested folders; yanhe-cli collect --recursive beside find on the same tree, and
# the window's longest event-loop stall while it collects the same tree.
#   bench/collect.sh [N]      (after `make build`)
set -euo pipefail
cd "$(dirname "$0")/.."
N=${1:-100000}
build=${BUILD:-build}
tree=$(mktemp -d /tmp/yanhe-bench-tree.XXXXXX)
trap 'rm -rf "$tree"' EXIT

# 10 x 10 x 10 folders; per 10 files 2 .doc, 1 .docx and 7 others, so that the
# matches (30%) stay under the list's 32,767 rows and the whole tree is walked.
python3 - "$tree" "$N" <<'PY'
import os, sys
root, n = sys.argv[1], int(sys.argv[2])
exts = ["doc", "doc", "docx", "txt", "pdf", "xls", "png", "md", "zip", "jpg"]
leaves = [os.path.join(root, f"d{a}", f"e{b}", f"f{c}") for a in range(10) for b in range(10) for c in range(10)]
for leaf in leaves:
    os.makedirs(leaf, exist_ok=True)
for i in range(n):
    open(os.path.join(leaves[i % len(leaves)], f"file{i:06d}.{exts[i % len(exts)]}"), "w").close()
PY
echo "tree: $N files in $(find "$tree" -type d | wc -l) folders"

best() { # best of 3 wall-clock runs, in seconds
  local b=999999
  for _ in 1 2 3; do
    local s e
    s=$(date +%s.%N); "$@" >/dev/null; e=$(date +%s.%N)
    b=$(python3 -c "print(min($b, $e - $s))")
  done
  echo "$b"
}
cli=$(best "$build/src/yanhe-cli" collect --recursive --patterns "*.doc,*.docx" "$tree")
fnd=$(best find "$tree" -type f '(' -iname '*.doc' -o -iname '*.docx' ')')
rows=$("$build/src/yanhe-cli" collect --recursive --patterns "*.doc,*.docx" "$tree" | tail -n 1)
printf 'yanhe-cli collect --recursive: %.3f s  (%s)\n' "$cli" "$rows"
printf 'find -iname:                   %.3f s\n' "$fnd"
python3 -c "print(f'ratio yanhe-cli / find:        {$cli / $fnd:.1f}x')"
"$build/bench/bench_collect_window" "$tree"
