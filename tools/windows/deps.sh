#!/usr/bin/env bash
# The libraries the Windows build links (Qt 6.4.2 qtbase, zlib, libzip, pugixml),
# cross-built for MinGW-w64 into one install prefix in a cache folder outside the
# tree, keyed by this script's own hash: a change to how they are built gives a
# new folder, an unchanged script finds the old one and does nothing.
#
# Prints the prefix (the folder holding bin/, lib/, include/) on its last line.
#
# Where the prefix comes from, first match wins:
#   1. the cache folder, already made;
#   2. a prebuilt archive of the same prefix ($YANHE_WINDOWS_DEPS_ARCHIVE, or the
#      one in ../shared/toolchains), checked against its SHA256SUMS, unpacked;
#   3. Debian's source packages (a deb-src entry is added for the same archive),
#      cross-built with the configuration below. About an hour on two cores.
# --from-source skips 2.
#
# Environment: YANHE_WINDOWS_CACHE (default ~/.cache/yanhe/windows), YANHE_WINDOWS_DEPS_ARCHIVE, JOBS.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
from_source=0
[ "${1:-}" = "--from-source" ] && from_source=1

# The contents only, not where the checkout lies: every checkout finds the same folder.
key=$(cat "$here/deps.sh" "$here/mingw-w64-x86_64.cmake" | sha256sum | cut -c1-16)
cache=${YANHE_WINDOWS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/yanhe/windows}
dest=$cache/deps-$key
prefix=$dest/qt6-mingw-w64
jobs=${JOBS:-$(nproc)}

log() { echo "deps.sh: $*" >&2; }

if [ -f "$dest/.complete" ]; then
  echo "$prefix"
  exit 0
fi

mkdir -p "$cache"
# Two runs at once (two CI jobs, make -j) must not unpack into the same folder.
exec 9>"$cache/.lock-$key"
flock 9
if [ -f "$dest/.complete" ]; then
  echo "$prefix"
  exit 0
fi

archive=${YANHE_WINDOWS_DEPS_ARCHIVE:-}
if [ -z "$archive" ]; then
  for d in "$root/../shared/toolchains" "$root/shared/toolchains"; do
    for f in "$d"/windows-deps-*-mingw-w64-x86_64.tar.xz; do
      [ -f "$f" ] && archive=$f && break 2
    done
  done
fi

if [ "$from_source" = 0 ] && [ -n "$archive" ] && [ -f "$archive" ]; then
  sums=$(dirname "$archive")/SHA256SUMS
  name=$(basename "$archive")
  want=$(awk -v n="$name" '$2 == n || $2 == "*" n { print $1 }' "$sums" 2>/dev/null || true)
  if [ -z "$want" ]; then
    log "no checksum for $name in $sums"
    exit 1
  fi
  got=$(sha256sum "$archive" | cut -d' ' -f1)
  if [ "$got" != "$want" ]; then
    log "$name does not match its checksum ($got, expected $want)"
    exit 1
  fi
  log "unpacking $name into $dest"
  rm -rf "$dest.part"
  mkdir -p "$dest.part"
  tar -xJf "$archive" -C "$dest.part"
  [ -f "$dest.part/qt6-mingw-w64/bin/Qt6Core.dll" ] || { log "$name holds no qt6-mingw-w64/bin/Qt6Core.dll"; exit 1; }
  rm -rf "$dest"
  mv "$dest.part" "$dest"
  touch "$dest/.complete"
  echo "$prefix"
  exit 0
fi

# From Debian's source packages.
log "building from Debian's source packages into $dest (about an hour on two cores)"
toolchain=$here/mingw-w64-x86_64.cmake
for tool in x86_64-w64-mingw32-g++-posix cmake ninja dpkg-source; do
  command -v "$tool" >/dev/null || { log "$tool is missing: run tools/windows/setup.sh"; exit 1; }
done
[ -x /usr/lib/qt6/libexec/moc ] || { log "the host Qt tools are missing (qt6-base-dev-tools)"; exit 1; }

# A deb-src entry for the archive this machine's packages come from.
if ! apt-get source --print-uris --download-only zlib >/dev/null 2>&1; then
  srcs=/etc/apt/sources.list.d/yanhe-deb-src.sources
  [ "$(id -u)" = 0 ] || { log "apt-get source needs a deb-src entry; run as root once to add $srcs"; exit 1; }
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources >"$srcs"
  else
    grep -h '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' >/etc/apt/sources.list.d/yanhe-deb-src.list
  fi
  apt-get update -qq
fi

work=$cache/src-$key
rm -rf "$work" "$dest.part"
mkdir -p "$work" "$dest.part"
part=$dest.part/qt6-mingw-w64
cd "$work"
# The release's own versions (a security update's source may be missing from the mirror), else the newest.
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
for package in qt6-base zlib libzip pugixml; do
  apt-get source --download-only "$package/$codename" >/dev/null 2>&1 ||
    apt-get source --download-only "$package" >/dev/null
done
for dsc in *.dsc; do dpkg-source --no-check -x "$dsc" >/dev/null; done

common=(-G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DMINGW_PREFIX="$part"
  -DCMAKE_INSTALL_PREFIX="$part" -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON)

# zlib: the repacked source has no win32/zlib1.rc; a version resource in its place lets the DLL link.
zsrc=$(ls -d zlib-*/ | head -n1)
[ -f "$zsrc/win32/zlib1.rc" ] || {
  mkdir -p "$zsrc/win32"
  echo '1 VERSIONINFO FILEVERSION 1,2,13,0 PRODUCTVERSION 1,2,13,0 BEGIN END' >"$zsrc/win32/zlib1.rc"
}
cmake -S "$zsrc" -B build-zlib "${common[@]}" >/dev/null
cmake --build build-zlib -j "$jobs" >/dev/null
cmake --install build-zlib >/dev/null
log "zlib done"

cmake -S "$(ls -d libzip-*/ | head -n1)" -B build-libzip "${common[@]}" \
  -DZLIB_LIBRARY="$part/lib/libzlib.dll.a" -DZLIB_INCLUDE_DIR="$part/include" \
  -DENABLE_BZIP2=OFF -DENABLE_LZMA=OFF -DENABLE_ZSTD=OFF -DENABLE_GNUTLS=OFF -DENABLE_OPENSSL=OFF \
  -DENABLE_MBEDTLS=OFF -DENABLE_COMMONCRYPTO=OFF -DENABLE_WINDOWS_CRYPTO=ON \
  -DBUILD_TOOLS=OFF -DBUILD_REGRESS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOC=OFF >/dev/null
cmake --build build-libzip -j "$jobs" >/dev/null
cmake --install build-libzip >/dev/null
log "libzip done"

cmake -S "$(ls -d pugixml-*/ | head -n1)" -B build-pugixml "${common[@]}" >/dev/null
cmake --build build-pugixml -j "$jobs" >/dev/null
cmake --install build-pugixml >/dev/null
log "pugixml done"

# qtbase: the host's Qt 6.4.2 tools (moc, rcc, uic) through QT_HOST_PATH, bundled third-party code;
# tablet events off, as the repacked source has no Wintab header.
cmake -S "$(ls -d qt6-base-*/ qtbase-*/ 2>/dev/null | head -n1)" -B build-qtbase "${common[@]}" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
  -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DFEATURE_opengl=OFF -DINPUT_opengl=no -DFEATURE_printsupport=OFF \
  -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_vulkan=OFF \
  -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF \
  -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF -DFEATURE_system_freetype=OFF \
  -DFEATURE_system_doubleconversion=OFF -DFEATURE_openssl=OFF -DFEATURE_tabletevent=OFF >/dev/null
cmake --build build-qtbase -j "$jobs" >/dev/null
cmake --install build-qtbase >/dev/null
log "qtbase done"

cat >"$part/BUILDINFO" <<EOF
Windows (x86_64-w64-mingw32, posix threads) build dependencies, cross-built by tools/windows/deps.sh
(key $key) from Debian's source packages: $(ls *.dsc | tr '\n' ' ')
EOF
rm -rf "$dest"
mv "$dest.part" "$dest"
touch "$dest/.complete"
rm -rf "$work"
echo "$prefix"
