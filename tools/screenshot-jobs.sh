#!/usr/bin/env bash
# Two screenshots of one real run: twenty .doc files and a damaged .docx made
# with LibreOffice, collected, all ticked, "OLD" replaced by "NEW" through
# "Doc文档替换". MIDRUN.png is taken while the run goes on (the 停止 entry in
# the menu bar, the bar part-way), FAILED.png after it, when the log box has
# opened by itself on the failure. Clicks go to fixed places of the window at
# its first size.
#   tools/screenshot-jobs.sh MIDRUN.png FAILED.png   (needs: xvfb openbox xdotool imagemagick)
set -euo pipefail
midrun=$(realpath -m "$1")
failed=$(realpath -m "$2")
bin=$(realpath "${YANHE_BIN:-$(dirname "$0")/../build/src/yanhe}")
work=$(mktemp -d /tmp/yanhe-demo.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/合同" "$work/app" "$work/src"
for i in $(seq -w 1 20); do
  cat > "$work/src/合同$i.fodt" <<FODT
<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.text"><office:body><office:text><text:p>合同 $i OLD 正文</text:p></office:text></office:body></office:document>
FODT
done
soffice --headless -env:UserInstallation="file://$work/profile" --convert-to doc --outdir "$work/合同" "$work"/src/*.fodt >/dev/null 2>&1
head -c 4000 /dev/urandom > "$work/合同/合同00.docx"
export LANG=${LANG:-C.UTF-8}
xvfb-run -a -s "-screen 0 960x720x24" bash -c '
  openbox --sm-disable >/dev/null 2>&1 &
  sleep 2
  cd "$1/合同"
  YANHE_APP_FOLDER="$1/app" YANHE_ENGINE=libreoffice "$2" &
  sleep 3
  win=$(xdotool search --sync --name "砚禾" | head -n 1)
  xdotool windowactivate --sync "$win"
  at() { xdotool mousemove --window "$win" "$1" "$2"; sleep 0.3; }
  at 211 368; xdotool click 1; sleep 0.5                         # 开启解锁Word
  at 80 188; xdotool click --repeat 2 --delay 80 1; sleep 2      # double-click 合同
  at 512 250; xdotool click 1; sleep 0.5                         # 全选
  at 426 356; xdotool click --repeat 3 1; xdotool type "OLD"     # Text1
  at 426 384; xdotool click --repeat 3 1; xdotool type "NEW"     # Text2
  at 426 415; xdotool click 1                                   # Doc文档替换
  lines() { cat "$1"/app/Journal/*/*.txt 2>/dev/null | grep -c "$2" || true; }
  for i in $(seq 120); do [ "$(lines "$1" 已替换内容)" -ge 6 ] && break; sleep 0.5; done
  import -frame -window "$win" "$3"
  for i in $(seq 240); do [ "$(lines "$1" 详见上方)" -ge 1 ] && break; sleep 0.5; done
  sleep 1
  import -frame -window "$win" "$4"
  kill %2
' _ "$work" "$bin" "$midrun" "$failed"
echo "$midrun $failed"
