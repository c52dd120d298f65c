#!/usr/bin/env bash
# Wall time of yanhe-cli word-replace over 40 small .doc files (copies of one
# corpus document) with one office process and with two (--jobs 2), each run
# on fresh copies, after a warm-up that leaves the office profiles in place.
#   bench/jobs.sh [COUNT]      (after `make build`)
set -euo pipefail
cd "$(dirname "$0")/.."
cli=$PWD/${BUILD:-build}/src/yanhe-cli
count=${1:-40}
source=${CORPUS:-$PWD/../shared/corpus}/doc/simple.doc
work=$(mktemp -d /tmp/yanhe-bench-jobs.XXXXXX)
trap 'rm -rf "$work"' EXIT
export YANHE_APP_FOLDER=$work/app XDG_CACHE_HOME=$work/cache
mkdir -p "$YANHE_APP_FOLDER"

copies() { # a fresh folder of COUNT copies; prints their paths, one a line
  rm -rf "$work/files" && mkdir -p "$work/files"
  for i in $(seq -w 1 "$count"); do
    cp "$source" "$work/files/d$i.doc" && chmod u+w "$work/files/d$i.doc"
    echo "$work/files/d$i.doc"
  done
}

ms() { # wall-clock milliseconds of one run of the command
  local s e
  s=$(date +%s%N)
  "$@" >/dev/null 2>&1 || true
  e=$(date +%s%N)
  echo $(((e - s) / 1000000))
}

mapfile -t files < <(count=2 copies)
"$cli" word-replace --old simple --new plain --jobs 2 "${files[@]}" >/dev/null 2>&1 || true
for jobs in 1 2 1 2; do
  mapfile -t files < <(copies)
  t=$(ms "$cli" word-replace --old simple --new plain --jobs "$jobs" "${files[@]}")
  echo "word-replace, $count .doc, --jobs $jobs: $t ms ($((t / count)) ms per file)"
done
