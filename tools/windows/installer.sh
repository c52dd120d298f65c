#!/usr/bin/env bash
# The installer under Wine, as a user meets it: a silent install for the current user (every
# file of the portable copy, byte for byte, its Start-menu entry, its entry in the installed
# programs), the installed yanhe-cli.exe runs a job and writes its journal beside itself, a
# second install over the first (an update) puts back every file and keeps the journal, and
# the uninstaller removes what was installed and keeps what the program made.
#   installer.sh <windows build folder> <deps prefix>
# WINEPREFIX must name a prefix made for the run.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$1 deps=$2
setup=$(ls "$build"/yanhe-*-windows-x64-setup.exe | head -n 1)
name=$(basename "$setup" -setup.exe)
version=${name#yanhe-}
version=${version%-windows-x64}
stage=$build/package/$name
user=$(ls "$WINEPREFIX/drive_c/users" | grep -v -x -e Public -e public | head -n 1)
home=$WINEPREFIX/drive_c/users/$user
installed=$home/AppData/Local/Programs/yanhe
menu="$home/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/砚禾办公助手"
key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\yanhe'
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "installer.sh: $*" >&2; exit 1; }
windows() { echo "Z:$1" | tr / '\\'; }
[ -d "$stage" ] || fail "no portable copy in $stage"

# reg.exe prints in the ANSI code page (936 in the Chinese locale of the run).
uninstall_entry() {
  { "$here/wine-run.sh" - reg query "$key" 2>/dev/null || true; } | iconv -f GB18030 -t UTF-8 | tr -d '\r'
}
# The installer and the uninstaller hand their work to processes of their own and return:
# the run is over when the prefix's last process has ended.
settle() { timeout -k 10 120 env WINEPREFIX="$WINEPREFIX" wineserver --wait || true; }
install() {
  YANHE_WINE_TIMEOUT=120 "$here/wine-run.sh" "$deps" "$setup" /S || fail "the installer failed ($1)"
  settle
}
check_installed() {
  local file entry
  while read -r file; do
    cmp -s "$stage/$file" "$installed/$file" || fail "$1: $file is not installed as built"
  done < <(cd "$stage" && find . -type f)
  [ -f "$installed/uninstall.exe" ] || fail "$1: no uninstall.exe"
  [ -f "$menu/砚禾办公助手.lnk" ] || fail "$1: no Start-menu entry 砚禾办公助手"
  [ -f "$menu/卸载砚禾办公助手.lnk" ] || fail "$1: no Start-menu entry for the uninstaller"
  entry=$(uninstall_entry)
  grep -q 'DisplayName *REG_SZ *砚禾办公助手$' <<<"$entry" || fail "$1: no uninstall entry 砚禾办公助手"
  grep -q "DisplayVersion *REG_SZ *$version\$" <<<"$entry" || fail "$1: the uninstall entry lacks version $version"
  grep -q 'UninstallString *REG_SZ *"C:\\users\\.*\\AppData\\Local\\Programs\\yanhe\\uninstall.exe"$' <<<"$entry" ||
    fail "$1: the uninstall entry does not name the installed uninstall.exe"
}
# What the program made in its folder: every file there that the installer did not write.
made_by_program() {
  (cd "$installed" && find . -type f ! -path ./uninstall.exe | sort) | while read -r file; do
    [ -e "$stage/$file" ] || echo "$file"
  done
}

install "first install"
check_installed "first install"
# The installed copy runs beside its own DLLs only: no WINEPATH.
YANHE_WINE_TIMEOUT=60 "$here/wine-run.sh" - "$installed/yanhe-cli.exe" --help >"$work/help.out" 2>&1 || true
grep -q 'sheet-replace' "$work/help.out" || fail "the installed yanhe-cli.exe does not run"
echo "installer: installed for the user in AppData\\Local\\Programs\\yanhe as built, Start-menu entries, uninstall entry, runs"

# A job by the installed copy: it keeps its journal beside itself.
corpus=$root/../shared/corpus/docx
document=$(ls "$corpus"/*.docx | head -n 1)
cp "$document" "$work/"
chmod u+w "$work"/*.docx
YANHE_ENGINE=lossless YANHE_WINE_TIMEOUT=120 "$here/wine-run.sh" - "$installed/yanhe-cli.exe" word-replace \
  --old e --new ë "$(windows "$work/$(basename "$document")")" >"$work/job.out" 2>&1 || true
[ -d "$installed/Journal" ] || fail "the installed yanhe-cli.exe wrote no journal in its folder"
grep -rqa "$(basename "$document")" "$installed/Journal" || fail "the journal does not name the document of the job"
made=$(made_by_program)
mkdir "$work/made"
(cd "$installed" && tr '\n' '\0' <<<"$made" | xargs -0 cp --parents -t "$work/made")

# An update: a second install over the first, with an installed file stale.
printf 'stale' >"$installed/yanhe-cli.exe"
install "second install"
check_installed "second install"
while read -r file; do
  cmp -s "$work/made/$file" "$installed/$file" || fail "the second install changed $file, which the program made"
done <<<"$made"
echo "installer: a second install over the first put back every file and kept the journal"

# Uninstalled as from the installed programs: the uninstaller copies itself away and removes
# uninstall.exe too.
YANHE_WINE_TIMEOUT=120 "$here/wine-run.sh" - "$installed/uninstall.exe" /S || fail "the uninstaller failed"
settle
[ -d "$installed/Journal" ] || fail "the uninstaller removed the journal"
left=$(cd "$installed" && find . -type f | sort)
[ "$left" = "$made" ] || fail "after uninstalling, the folder holds: $(tr '\n' ' ' <<<"$left")not what the program made: $(tr '\n' ' ' <<<"$made")"
while read -r file; do
  cmp -s "$work/made/$file" "$installed/$file" || fail "the uninstaller changed $file, which the program made"
done <<<"$made"
[ ! -e "$menu" ] || fail "the Start-menu folder is left after uninstalling"
! grep -q DisplayName <<<"$(uninstall_entry)" || fail "the uninstall entry is left after uninstalling"
echo "installer: the uninstaller removed the files, the Start-menu entries and the uninstall entry, kept the journal"
