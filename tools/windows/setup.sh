#!/usr/bin/env bash
# Installs the Debian packages the Windows build and its Wine tests need, and does
# nothing (quickly) when they are all there.
set -euo pipefail
packages=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 cmake ninja-build qt6-base-dev-tools qt6-base-dev
  wine wine64 nsis xvfb xauth xdotool imagemagick dpkg-dev fonts-noto-cjk locales)
# Wine's 64-bit half only: the programs and their installer are 64-bit. Wine's 32-bit half
# (wine32:i386) is not wanted: where the host cannot execute 32-bit code (some virtual machines),
# installing it makes the `wine` launcher pick its 32-bit loader and no Windows program starts.
missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [ "$status" = "installed" ] || missing+=("$p")
done
# Wine takes its ANSI code page (936) from a Chinese locale, which must exist on the host.
chinese_locale() {
  locale -a 2>/dev/null | grep -qix 'zh_CN.utf8' && return 0
  [ "$(id -u)" -eq 0 ] || { echo "The zh_CN.UTF-8 locale is missing: localedef -i zh_CN -f UTF-8 zh_CN.UTF-8 (as root)" >&2; return 1; }
  localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
}
if [ ${#missing[@]} -eq 0 ]; then
  chinese_locale
  exit 0
fi
echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "Missing packages and not root: apt-get install -y ${missing[*]}" >&2; exit 1; }
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
chinese_locale
