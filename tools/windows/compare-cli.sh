#!/usr/bin/env bash
# yanhe-cli.exe under Wine against the Linux yanhe-cli: the lossless jobs over copies of
# the shared corpus's .docx and .xlsx (Windows paths with a drive letter) give the same
# lines and the same resulting bytes; the Windows journal is in code page 936 with CR LF.
#   compare-cli.sh <linux yanhe-cli> <windows build folder> <deps prefix>
# WINEPREFIX must name a prefix made for the run (wine-prefix.sh).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
linux=$1 build=$2 deps=$3
corpus=$root/../shared/corpus
work=$(mktemp -d)
trap '[ -n "${KEEP_WORK:-}" ] || rm -rf "$work"' EXIT
failures=0
fail() { echo "compare-cli.sh: $*" >&2; failures=$((failures + 1)); }

jobs=(
  "docx|word-replace|--old|e|--new|ë|--scope|textboxes,header-textboxes,headers-footers"
  "docx|word-replace|--old|the|--new|新的文字|--scope|headers-footers"
  "xlsx|sheet-replace|--old|e|--new|ë"
  "xlsx|cell-write|--row|2|--column|2|--text|单元格"
)
round=0
for job in "${jobs[@]}"; do
  round=$((round + 1))
  IFS='|' read -r -a parts <<<"$job"
  ext=${parts[0]}
  arguments=("${parts[@]:1}")
  for side in linux windows; do
    mkdir -p "$work/$round/$side" "$work/$round/app-$side"
    cp "$corpus/$ext"/*."$ext" "$work/$round/$side/"
    chmod u+w "$work/$round/$side"/*
  done
  files=()
  winfiles=()
  for f in "$work/$round/linux"/*."$ext"; do
    files+=("$f")
    winfiles+=("Z:$(echo "$work/$round/windows/$(basename "$f")" | tr / '\\')")
  done
  YANHE_ENGINE=lossless YANHE_APP_FOLDER="$work/$round/app-linux" \
    "$linux" "${arguments[@]}" "${files[@]}" >"$work/$round/linux.out" 2>/dev/null || true
  YANHE_ENGINE=lossless YANHE_APP_FOLDER="Z:$(echo "$work/$round/app-windows" | tr / '\\')" \
    "$here/wine-run.sh" "$deps" "$build/yanhe-cli.exe" "${arguments[@]}" "${winfiles[@]}" \
    >"$work/$round/windows.out" 2>/dev/null || true
  windir="Z:$(echo "$work/$round/windows/" | tr / '\\')"
  sed "s|$work/$round/linux/|@/|" "$work/$round/linux.out" >"$work/$round/linux.lines"
  # The folder through the environment: awk -v would read its backslashes as escapes.
  tr -d '\r' <"$work/$round/windows.out" |
    WINDIR="$windir" awk '{ d = ENVIRON["WINDIR"]; if (index($0, d) == 1) $0 = "@/" substr($0, length(d) + 1); print }' \
    >"$work/$round/windows.lines"
  n=$(wc -l <"$work/$round/linux.lines")
  [ "$n" -gt 0 ] || fail "${arguments[0]}: no lines from the Linux run"
  if ! diff -u "$work/$round/linux.lines" "$work/$round/windows.lines" >"$work/$round/lines.diff"; then
    fail "${arguments[0]}: the lines differ:"
    head -20 "$work/$round/lines.diff" >&2
  fi
  same=0
  for f in "$work/$round/linux"/*."$ext"; do
    if cmp -s "$f" "$work/$round/windows/$(basename "$f")"; then
      same=$((same + 1))
    else
      fail "${arguments[0]}: $(basename "$f") differs in bytes"
    fi
  done
  echo "${arguments[0]}: $n lines alike, $same .$ext files byte for byte alike"

  # The journal: code page 936 (GBK), CR LF, "时间：" leading each line.
  journal=$(find "$work/$round/app-windows" -name '*.txt' -path '*Journal*' | head -n 1)
  if [ -z "$journal" ]; then
    fail "${arguments[0]}: no journal file under the Windows application folder"
    continue
  fi
  if ! iconv -f GBK -t UTF-8 "$journal" >"$work/$round/journal.utf8" 2>/dev/null; then
    fail "${arguments[0]}: the journal is not in code page 936"
  elif iconv -f UTF-8 -t UTF-8 "$journal" >/dev/null 2>&1 && grep -q '时间' "$journal"; then
    fail "${arguments[0]}: the journal is in UTF-8, not the ANSI code page"
  fi
  lines=$(grep -c '' "$journal")
  crlf=$(grep -c $'\r$' "$journal" || true)
  [ "$lines" = "$crlf" ] || fail "${arguments[0]}: $((lines - crlf)) of $lines journal lines do not end in CR LF"
  leading=$(grep -c '^时间：' "$work/$round/journal.utf8" || true)
  echo "${arguments[0]}: journal $(basename "$journal"): $lines lines, CR LF, code page 936, $leading led by 时间："
done
[ "$failures" = 0 ] || { echo "compare-cli.sh: $failures failures" >&2; exit 1; }
