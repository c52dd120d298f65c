#!/usr/bin/env bash
# Installs the Debian packages the tool needs to build, run and test, and does
# nothing (quickly) when they are all there.
set -euo pipefail

packages=(
  # build
  g++ cmake ninja-build make pkg-config ccache qt6-base-dev qt6-base-dev-tools libgl-dev clang-format
  # run the window with Chinese text; a virtual display for machines without one
  fonts-noto-cjk xvfb xauth
  # Qt's own texts (standard buttons, a text box's menu) in Chinese: qtbase_zh_CN.qm
  qt6-translations-l10n
  # the office tests read rendered pages: pdftotext
  poppler-utils
  # the office program the tool drives, and its SDK for the UNO headers
  libreoffice-writer libreoffice-calc libreoffice-dev
  # tests that read what a user would see in a saved document
  poppler-utils
  # the Debian package (make package) and its test; the Windows compile check
  dpkg-dev desktop-file-utils librsvg2-bin file man-db g++-mingw-w64-x86-64-posix
  # the lossless engine for .docx and .xlsx: a zip library that copies entries without
  # expanding them, and an XML DOM that keeps what it does not know
  libzip-dev libpugixml-dev
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [ "$status" = "installed" ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null; then
    sudo="sudo"
  else
    echo "Missing packages and not root: run as root: apt-get install -y ${missing[*]}" >&2
    exit 1
  fi
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
