#!/usr/bin/env bash
# The installer under Wine: a silent install for the current user, its Start-menu entry and
# uninstall entry, the installed yanhe-cli.exe runs, and the uninstaller removes what was installed.
#   installer.sh <windows build folder> <deps prefix>
# WINEPREFIX must name a prefix made for the run.
set -euo pipefail
# NSIS's installers are 32-bit programs: they need Wine's 32-bit half (wine32:i386).
if [ "$(dpkg-query -W -f='${db:Status-Status}' wine32:i386 2>/dev/null)" != installed ]; then
  echo "installer: not run: the installer is a 32-bit program and wine32:i386 is not installed"
  exit 0
fi
here=$(cd "$(dirname "$0")" && pwd)
build=$1 deps=$2
setup=$(ls "$build"/yanhe-*-windows-x64-setup.exe | head -n 1)
user=$(ls "$WINEPREFIX/drive_c/users" | grep -v -x -e Public -e public | head -n 1)
home=$WINEPREFIX/drive_c/users/$user
installed=$home/AppData/Local/Programs/yanhe
menu="$home/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/砚禾办公助手"
fail() { echo "installer.sh: $*" >&2; exit 1; }

YANHE_WINE_TIMEOUT=120 "$here/wine-run.sh" "$deps" "$setup" /S
[ -f "$installed/yanhe.exe" ] || fail "no yanhe.exe in $installed"
[ -f "$installed/platforms/qwindows.dll" ] || fail "no platforms/qwindows.dll in $installed"
[ -f "$menu/砚禾办公助手.lnk" ] || fail "no Start-menu entry 砚禾办公助手"
WINEPREFIX=$WINEPREFIX wine reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\yanhe' /v DisplayName \
  2>/dev/null | grep -q '砚禾办公助手' || fail "no uninstall entry"
# The installed copy runs beside its own DLLs only: no WINEPATH.
YANHE_WINE_TIMEOUT=60 "$here/wine-run.sh" - "$installed/yanhe-cli.exe" --help | grep -q 'sheet-replace' ||
  fail "the installed yanhe-cli.exe does not run"
echo "installer: installed for the user in AppData\\Local\\Programs\\yanhe, runs, Start-menu entry, uninstall entry"

YANHE_WINE_TIMEOUT=120 "$here/wine-run.sh" "$deps" "$installed/uninstall.exe" /S "_?=C:\\users\\$user\\AppData\\Local\\Programs\\yanhe"
left=$(find "$installed" -type f ! -name uninstall.exe | wc -l)
[ "$left" = 0 ] || fail "$left files left after uninstalling"
[ ! -e "$menu" ] || fail "the Start-menu folder is left after uninstalling"
echo "installer: the uninstaller removed the files and the Start-menu entry"
