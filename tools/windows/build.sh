#!/usr/bin/env bash
# make windows: the Windows build with MinGW-w64 (Word, Excel and WPS over COM,
# the lossless engine; no LibreOffice engine), every test as a Windows
# executable, a portable zip and an NSIS installer.
#   build.sh [build folder]        (default build-windows)
# YANHE_WINDOWS_TARGETS="yanhe yanhe-cli yanhe-update" builds only the programs (and still packages
# them), for a quick zip and installer without the tests.
# Makes <build>/yanhe-<version>-windows-x64.zip and <build>/yanhe-<version>-windows-x64-setup.exe.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(realpath -m "${1:-$root/build-windows}")
jobs=${JOBS:-$(nproc)}

"$here/setup.sh"
deps=$("$here/deps.sh")

cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$here/mingw-w64-x86_64.cmake" -DMINGW_PREFIX="$deps" -DCMAKE_PREFIX_PATH="$deps" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DCMAKE_BUILD_TYPE=Release -DYANHE_LIBREOFFICE=OFF -DBUILD_TESTING=ON \
  -DCMAKE_CROSSCOMPILING_EMULATOR="$here/wine-run.sh;$deps" >/dev/null
# shellcheck disable=SC2086 # a list of target names
cmake --build "$build" -j "$jobs" --target ${YANHE_WINDOWS_TARGETS:-all}

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
name=yanhe-$version-windows-x64
stage=$build/package/$name
rm -rf "$build/package"
mkdir -p "$stage/platforms" "$stage/styles" "$stage/tls"

# The executables, and what they load: Qt, the zip and XML libraries, MinGW-w64's runtime, the
# platform plugin (a window needs it), the native style, the Schannel TLS backend (the update check).
for exe in yanhe yanhe-cli yanhe-update; do
  x86_64-w64-mingw32-strip -o "$stage/$exe.exe" "$build/$exe.exe"
done
for dll in Qt6Core Qt6Gui Qt6Widgets Qt6Network libzip libpugixml; do
  cp "$deps/bin/$dll.dll" "$stage/"
done
# zlib's own build names its DLL libzlib1.dll; the prebuilt copy has libzlib.dll.
cp "$deps"/bin/libzlib*.dll "$stage/"
for dll in libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
  cp "$(x86_64-w64-mingw32-g++-posix -print-file-name=$dll)" "$stage/"
done
cp "$deps/plugins/platforms/qwindows.dll" "$stage/platforms/"
cp "$deps/plugins/styles/qwindowsvistastyle.dll" "$stage/styles/"
cp "$deps/plugins/tls/qschannelbackend.dll" "$stage/tls/"

# Every DLL that a staged file imports is either staged or one of Windows' own.
missing=$(
  find "$stage" -name '*.exe' -o -name '*.dll' | while read -r file; do
    x86_64-w64-mingw32-objdump -p "$file" | sed -n 's/^\s*DLL Name: //p'
  done | sort -u | while read -r dll; do
    [ -n "$(find "$stage" -maxdepth 1 -iname "$dll")" ] && continue
    [ -n "$(find /usr/x86_64-w64-mingw32/lib -maxdepth 1 -iname "lib${dll%.*}.a")" ] && continue
    case "${dll,,}" in api-ms-win-*) continue ;; esac
    echo "$dll"
  done
)
if [ -n "$missing" ]; then
  echo "build.sh: the portable copy lacks: $missing" >&2
  exit 1
fi

(cd "$build/package" && cmake -E tar cf "$build/$name.zip" --format=zip "$name")

# The uninstaller removes exactly the files the installer wrote.
list=$build/package/uninstall-files.nsh
(
  cd "$stage"
  find . -type f | sort | sed 's|^\./||; s|/|\\|g; s|.*|  Delete "$INSTDIR\\&"|'
  find . -mindepth 1 -type d | sort -r | sed 's|^\./||; s|/|\\|g; s|.*|  RMDir "$INSTDIR\\&"|'
) >"$list"
makensis -V2 -DVERSION="$version" -DSTAGE="$stage" -DFILELIST="$list" -DOUTFILE="$build/$name-setup.exe" \
  "$root/packaging/windows/yanhe.nsi"

ls -l "$build/$name.zip" "$build/$name-setup.exe" | awk '{print $5, $9}'
