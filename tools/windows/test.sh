#!/usr/bin/env bash
# make test-windows: the Windows build's tests under Wine, in a Wine prefix made for
# this run in a temporary folder (never ~/.wine), Chinese locale (code page 936):
#   1. every test that needs no office program, as Windows executables (CTest, each run
#      bounded by wine-run.sh's time limit), the COM test server's included;
#   2. yanhe-cli.exe against the Linux yanhe-cli over the corpus (when build/ has one);
#   3. the window on a virtual display: it starts and is shot (build-windows/window.png);
#   4. the installer: silent per-user install, Start-menu entry, the installed tool runs, uninstall.
#   test.sh [windows build folder] [linux build folder]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(realpath "${1:-$root/build-windows}")
linux=$(realpath -m "${2:-$root/build}")
deps=$("$here/deps.sh")

prefix=$(mktemp -d "${TMPDIR:-/tmp}/yanhe-wine.XXXXXX")
cleanup() {
  WINEPREFIX=$prefix timeout 30 wineserver -k 2>/dev/null || true
  rm -rf "$prefix"
}
trap cleanup EXIT
start=$(date +%s)
"$here/wine-prefix.sh" "$prefix"
export WINEPREFIX=$prefix
echo "Wine prefix made in $(($(date +%s) - start)) s"

status=0
(cd "$build" && ctest -LE office --output-on-failure --timeout 900) || status=1

if [ -x "$linux/src/yanhe-cli" ]; then
  "$here/compare-cli.sh" "$linux/src/yanhe-cli" "$build" "$deps" || status=1
else
  echo "No Linux build at $linux: yanhe-cli.exe is not compared with it"
fi

"$here/window.sh" "$build" "$deps" "$build/window.png" || status=1
"$here/installer.sh" "$build" "$deps" || status=1
exit $status
