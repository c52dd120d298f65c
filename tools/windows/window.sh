#!/usr/bin/env bash
# The window of yanhe.exe under Wine on a virtual display: it starts, makes its folders
# beside itself, shows its title, and is shot.
#   window.sh <windows build folder> <deps prefix> <out.png>
# WINEPREFIX must name a prefix made for the run.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$1 deps=$2 out=$(realpath -m "$3")
app=$(mktemp -d)
trap 'rm -rf "$app"' EXIT
# The executable in a folder of its own: the application folder is the executable's.
cp "$build/yanhe.exe" "$build/yanhe-update.exe" "$app/"
export YANHE_WINE_TIMEOUT=120
xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
  "$0" "$1" "$2/yanhe.exe" >/dev/null 2>&1 &
  for i in $(seq 1 60); do
    win=$(xdotool search --name "砚禾" 2>/dev/null | head -n 1 || true)
    [ -n "$win" ] && break
    sleep 1
  done
  [ -n "$win" ] || { echo "window.sh: no window titled 砚禾 within 60 s" >&2; exit 1; }
  sleep 4
  echo "window: $(xdotool getwindowname "$win")"
  import -window root -crop "$(xdotool getwindowgeometry --shell "$win" | awk -F= "/WIDTH/{w=\$2}/HEIGHT/{h=\$2}/^X/{x=\$2}/^Y/{y=\$2}END{print w\"x\"h\"+\"x\"+\"y}")" "$3"
  WINEPREFIX=$WINEPREFIX wineserver -k || true
' "$here/wine-run.sh" "$deps" "$app" "$out"
for folder in toconfigure download Journal; do
  [ -d "$app/$folder" ] || { echo "window.sh: the window made no $folder folder beside itself" >&2; exit 1; }
done
echo "window: folders made beside yanhe.exe; shot in $out"
