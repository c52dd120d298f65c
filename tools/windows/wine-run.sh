#!/usr/bin/env bash
# Runs one Windows executable of the build under Wine: its DLLs come from the
# dependency prefix and MinGW-w64's runtime, Qt's plugins from the prefix, and
# the run is ended after YANHE_WINE_TIMEOUT seconds (default 600) whatever it does.
#
# WINEPREFIX must name a prefix made for the run (tools/windows/wine-prefix.sh):
# this never falls back to the user's ~/.wine. Set in CTest as the emulator of the
# Windows build (CMAKE_CROSSCOMPILING_EMULATOR).
#   wine-run.sh <deps prefix>|- program.exe [arguments...]
set -euo pipefail
deps=$1
shift
if [ -z "${WINEPREFIX:-}" ] || [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "wine-run.sh: WINEPREFIX must name a Wine prefix made for this run (tools/windows/wine-prefix.sh)" >&2
  exit 2
fi
windows() { echo "Z:$1" | tr / '\\'; }
runtime=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)")
pthread=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libwinpthread-1.dll)")
# "-" for a copy that carries its own DLLs and plugins (the portable or installed one).
if [ "$deps" != - ]; then
  export WINEPATH="$(windows "$deps/bin");$(windows "$runtime");$(windows "$pthread")"
  export QT_PLUGIN_PATH=$(windows "$deps/plugins")
fi
export WINEDEBUG=${WINEDEBUG:--all}
# A Chinese Windows: its ANSI code page is 936.
export LANG=${YANHE_WINE_LANG:-zh_CN.UTF-8} LC_ALL=${YANHE_WINE_LANG:-zh_CN.UTF-8}
exec timeout -k 10 "${YANHE_WINE_TIMEOUT:-600}" wine "$@"
