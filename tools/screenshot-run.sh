#!/usr/bin/env bash
# Screenshot of the window after a real run: three .docx and a .doc made with
# LibreOffice, collected with sub-folders, all ticked, "OLD" replaced by "NEW"
# through "Doc文档替换", the log box opened. Clicks go to fixed places of the
# window at its first size.
#   tools/screenshot-run.sh OUT.png     (needs: xvfb openbox xdotool imagemagick)
set -euo pipefail
out=$(realpath -m "$1")
bin=$(realpath "${YANHE_BIN:-$(dirname "$0")/../build/src/yanhe}")
work=$(mktemp -d /tmp/yanhe-demo.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/报告/旧" "$work/app"
for name in 季度总结 会议纪要 项目计划; do
  cat > "$work/$name.fodt" <<FODT
<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.text"><office:body><office:text><text:p>${name} OLD 正文</text:p></office:text></office:body></office:document>
FODT
done
soffice --headless -env:UserInstallation="file://$work/profile" --convert-to docx --outdir "$work/报告" "$work"/*.fodt >/dev/null 2>&1
soffice --headless -env:UserInstallation="file://$work/profile" --convert-to doc --outdir "$work/报告/旧" "$work/会议纪要.fodt" >/dev/null 2>&1
export LANG=${LANG:-C.UTF-8}
xvfb-run -a -s "-screen 0 960x720x24" bash -c '
  openbox --sm-disable >/dev/null 2>&1 &
  sleep 2
  cd "$1/报告"
  YANHE_APP_FOLDER="$1/app" "$2" &
  sleep 3
  win=$(xdotool search --sync --name "砚禾" | head -n 1)
  xdotool windowactivate --sync "$win"
  at() { xdotool mousemove --window "$win" "$1" "$2"; sleep 0.3; }
  at 211 368; xdotool click 1; sleep 0.5                         # 开启解锁Word
  at 28 100; xdotool click 1; sleep 0.5                          # 选择搜索子文件夹
  at 80 188; xdotool click --repeat 2 --delay 80 1; sleep 2      # double-click 报告
  at 512 250; xdotool click 1; sleep 0.5                         # 全选
  at 426 356; xdotool click --repeat 3 1; xdotool type "OLD"     # Text1
  at 426 384; xdotool click --repeat 3 1; xdotool type "NEW"     # Text2
  at 426 415; xdotool click 1; sleep 15                          # Doc文档替换
  at 232 250; xdotool click 1; sleep 1                           # 打开日志
  import -frame -window "$win" "$3"
  kill %2
' _ "$work" "$bin" "$out"
echo "$out"
