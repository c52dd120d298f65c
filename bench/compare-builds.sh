#!/usr/bin/env bash
# Two builds of yanhe-cli side by side on the same files at the same time, so
# that a busy machine weighs on both alike: N copies (500 by default) of a
# .docx and of an .xlsx of the shared corpus, word-replace and sheet-replace
# with the default engine choice and jobs, two rounds, alternating builds.
# Prints the time per file and the main process's peak memory.
#   bench/compare-builds.sh OLD-yanhe-cli NEW-yanhe-cli [N]
set -euo pipefail
old=$(realpath "$1")
new=$(realpath "$2")
n=${3:-500}
corpus=$(cd "$(dirname "$0")/../../shared/corpus" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export YANHE_APP_FOLDER=$work/app
mkdir -p "$YANHE_APP_FOLDER"
one() { # cli command source old new
  rm -rf "$work/files" && mkdir "$work/files"
  for i in $(seq 1 "$n"); do cp "$3" "$work/files/f$i.${3##*.}"; done
  chmod u+w "$work/files"/*
  sync
  local start end
  start=$(date +%s%N)
  /usr/bin/time -o "$work/time" -f "%M" "$1" "$2" --old "$4" --new "$5" "$work/files"/* >/dev/null 2>&1 || true
  end=$(date +%s%N)
  printf '%6d us/file, peak %3d MiB' $(((end - start) / n / 1000)) $(($(cat "$work/time") / 1024))
}
for round in 1 2; do
  for which in old new; do
    cli=$old
    [ "$which" = new ] && cli=$new
    docx=$(one "$cli" word-replace "$corpus/docx/test.docx" "was here" "WAS")
    xlsx=$(one "$cli" sheet-replace "$corpus/xlsx/commentTest.xlsx" "abc" "ABC")
    echo "round $round $which: .docx $docx; .xlsx $xlsx; load $(cut -d' ' -f1 /proc/loadavg)"
  done
done
