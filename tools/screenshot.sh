#!/usr/bin/env bash
# Takes a screenshot of the window as a user sees it: a virtual display with a
# window manager, the real window, ImageMagick's import.
#   tools/screenshot.sh OUT.png [xdotool commands run before the shot ...]
# SHOT=screen takes the whole screen instead of the window (an open menu is a window of its own).
# Needs: xvfb openbox xdotool imagemagick (apt-get install -y ...).
set -euo pipefail
out=$(realpath -m "$1"); shift
bin=${YANHE_BIN:-$(dirname "$0")/../build/src/yanhe}
export LANG=${LANG:-C.UTF-8}
xvfb-run -a -s "-screen 0 ${SCREEN:-960x720x24}" bash -c '
  openbox --sm-disable >/tmp/openbox.log 2>&1 &
  sleep 2
  "$0" &
  app=$!
  sleep 3
  win=$(xdotool search --sync --name "砚禾" | head -n 1)
  xdotool windowactivate --sync "$win"
  sleep 1
  for step in "$@"; do xdotool $step; sleep 0.5; done
  if [ "'"${SHOT:-window}"'" = screen ]; then import -window root "'"$out"'"; else import -frame -window "$win" "'"$out"'"; fi
  kill $app
' "$bin" "$@"
echo "$out"
