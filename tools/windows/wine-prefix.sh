#!/usr/bin/env bash
# Makes a fresh Wine prefix (64-bit, Chinese locale) in the given folder, for the
# Windows build's test runs; never touches the user's ~/.wine.
#   wine-prefix.sh <folder>
set -euo pipefail
export WINEPREFIX=$1 WINEARCH=win64 WINEDEBUG=-all LANG=${YANHE_WINE_LANG:-zh_CN.UTF-8}
# No Mono or Gecko download prompts: the tool needs neither.
export WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX"
timeout -k 10 300 wineboot --init >/dev/null 2>&1
timeout -k 10 60 wineserver --wait || true
[ -f "$WINEPREFIX/system.reg" ] || { echo "wine-prefix.sh: wineboot made no prefix in $WINEPREFIX" >&2; exit 1; }
