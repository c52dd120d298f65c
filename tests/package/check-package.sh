#!/usr/bin/env bash
# Builds the Debian package of a build tree, checks its control fields and
# contents, validates its desktop entry and man page, unpacks it into a temporary
# root and runs the unpacked yanhe-cli on a document, from another folder and
# with a clean HOME: as an ordinary user (nobody) and as the invoking user at
# once, when run as root.
#
# check-package.sh BUILD_DIR VERSION WITH_UPDATER(0|1) CORPUS_DIR
set -euo pipefail

build=$1
version=$2
with_updater=$3
corpus=$4

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
contains() { # haystack needle what
  case "$1" in *"$2"*) ;; *) fail "$3: \"$2\" not in: $1" ;; esac
}

tmp=$(mktemp -d "${TMPDIR:-/tmp}/yanhe-package-XXXXXX")
chmod 755 "$tmp"
trap 'rm -rf "$tmp"' EXIT

# --- the package ------------------------------------------------------------
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/out" >"$tmp/cpack.log" 2>&1 || {
  cat "$tmp/cpack.log"
  exit 1
}
arch=$(dpkg --print-architecture)
deb="$tmp/out/yanhe_${version}_${arch}.deb"
[ -f "$deb" ] || { ls -l "$tmp/out"; echo "FAIL: no $deb" >&2; exit 1; }

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = yanhe ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture: $(field Architecture)"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
contains "$(field Description)" "砚禾办公助手" "Description"
depends=$(field Depends)
# Named: the office program the tool starts, Qt's Chinese texts. Computed from the binaries: the rest.
for package in libreoffice-writer libreoffice-calc libreoffice-core qt6-translations-l10n libc6 libstdc++6 libqt6core6 libqt6gui6 \
  libqt6widgets6 libuno-cppu3 libuno-sal3; do
  contains "$depends" "$package" "Depends"
done
contains "$(field Recommends)" "fonts-noto-cjk" "Recommends"

dpkg-deb -c "$deb" >"$tmp/contents"
listed() { grep -q -- " \./$1\$" "$tmp/contents" || fail "not in the package: /$1"; }
expected=(usr/bin/yanhe usr/bin/yanhe-cli usr/share/yanhe/installed usr/share/applications/yanhe.desktop
  usr/share/icons/hicolor/scalable/apps/yanhe.svg usr/share/icons/hicolor/48x48/apps/yanhe.png
  usr/share/icons/hicolor/256x256/apps/yanhe.png usr/share/man/man1/yanhe-cli.1.gz)
[ "$with_updater" = 1 ] && expected+=(usr/bin/yanhe-update)
for path in "${expected[@]}"; do listed "$path"; done
# Only root-owned files below /usr; executables executable by everyone.
awk '$2 != "root/root" || ($6 !~ /^\.\/usr\// && $6 != "./") { print "FAIL: misplaced or not root-owned: " $0 }' \
  "$tmp/contents" | tee "$tmp/misplaced" >&2
[ -s "$tmp/misplaced" ] && failures=$((failures + 1))
for exe in yanhe yanhe-cli; do
  grep -q -- "^-rwxr-xr-x .* \./usr/bin/$exe\$" "$tmp/contents" || fail "/usr/bin/$exe is not 0755"
done

# --- unpacked ---------------------------------------------------------------
root="$tmp/root"
dpkg-deb -x "$deb" "$root"
desktop="$root/usr/share/applications/yanhe.desktop"
desktop-file-validate "$desktop" || fail "desktop-file-validate"
entry() { sed -n "s/^$1=//p" "$desktop"; }
[ "$(entry 'Name\[zh_CN\]')" = "砚禾办公助手" ] || fail "Name[zh_CN]: $(entry 'Name\[zh_CN\]')"
contains "$(entry Categories)" "Office;" "Categories"
[ -x "$root/usr/bin/$(entry Exec | cut -d' ' -f1)" ] || fail "Exec names no installed executable"
icon=$(entry Icon)
for size in 48 256; do
  png="$root/usr/share/icons/hicolor/${size}x${size}/apps/$icon.png"
  contains "$(file -b "$png")" "PNG image data, $size x $size" "icon $png"
done
grep -q "<svg" "$root/usr/share/icons/hicolor/scalable/apps/$icon.svg" || fail "the SVG icon is no SVG"
if command -v man >/dev/null; then
  page=$(MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/yanhe-cli.1.gz" 2>"$tmp/man.err" | col -b)
  [ -s "$tmp/man.err" ] && fail "man page warnings: $(cat "$tmp/man.err")"
  contains "$page" "word-replace" "man page"
  contains "$page" "yanhe $version" "man page"
fi
# The runtime search path must not point into the build tree.
for exe in yanhe yanhe-cli; do
  if readelf -d "$root/usr/bin/$exe" | grep -E 'RPATH|RUNPATH' | grep -qF "$build"; then
    fail "$exe searches libraries in the build tree"
  fi
done

# --- the unpacked yanhe-cli on a document ------------------------------------
source_document="$corpus/docx/test.docx"
if [ ! -f "$source_document" ]; then
  echo "SKIP: the document corpus is absent ($corpus); the package was checked, not run" >&2
  exit $((failures > 0))
fi

touch "$tmp/before-runs"
today=$(date +%F)
# run NAME USER: a clean HOME and a documents folder of that user's; runs in the background.
run() {
  local name=$1 user=$2 home="$tmp/home-$1" docs="$tmp/docs-$1"
  mkdir -p "$home" "$docs"
  cp "$source_document" "$docs/report.docx"
  chmod u+w "$docs/report.docx"
  local as=()
  if [ "$user" != "$(id -un)" ]; then
    chown -R "$user:$(id -gn "$user")" "$home" "$docs"
    as=(setpriv --reuid="$user" --regid="$(id -gn "$user")" --clear-groups)
  fi
  # Through LibreOffice, so that each user's soffice and its profile are checked too.
  (cd "$docs" && "${as[@]}" env -i HOME="$home" PATH=/usr/bin:/bin LANG=C.UTF-8 YANHE_ENGINE=libreoffice \
    "$root/usr/bin/yanhe-cli" word-replace --old python-docx --new 砚禾 report.docx \
    >"$tmp/$name.out" 2>"$tmp/$name.err"; echo $? >"$tmp/$name.rc") &
}
users=("$(id -un)")
if [ "$(id -u)" -eq 0 ] && id nobody >/dev/null 2>&1; then
  users+=(nobody)
else
  echo "NOTE: not root: the unpacked tool runs as $(id -un) only" >&2
fi
for user in "${users[@]}"; do run "$user" "$user"; done
wait

for user in "${users[@]}"; do
  home="$tmp/home-$user"
  docs="$tmp/docs-$user"
  [ "$(cat "$tmp/$user.rc")" = 0 ] || fail "yanhe-cli as $user: exit $(cat "$tmp/$user.rc"): $(cat "$tmp/$user.out" "$tmp/$user.err")"
  contains "$(cat "$tmp/$user.out")" "$docs/report.docx 已替换内容" "yanhe-cli as $user"
  # The journal in the user's own data folder, the office profiles in the user's cache.
  journal=$(cat "$home/.local/share/yanhe/Journal/$today/"*.txt 2>/dev/null || true)
  contains "$journal" "$docs/report.docx 已替换内容" "journal of $user"
  compgen -G "$home/.cache/yanhe/*profile*" >/dev/null || fail "no office profile in $user's cache"
  if [ "$user" != "$(id -un)" ]; then
    others=$(find "$home" "$docs" ! -user "$user" | head -3)
    [ -z "$others" ] || fail "files of another user in $user's folders: $others"
  fi
  # What the user sees: the saved document rendered by LibreOffice.
  timeout 180 soffice -env:UserInstallation="file://$tmp/render-profile" --headless --norestore \
    --convert-to pdf --outdir "$tmp/pdf-$user" "$docs/report.docx" >/dev/null 2>&1 ||
    fail "rendering $user's document"
  text=$(pdftotext "$tmp/pdf-$user/report.pdf" - 2>/dev/null || true)
  contains "$text" "砚禾 was here!" "$user's rendered document"
  case "$text" in *python-docx*) fail "$user's rendered document still holds the old text" ;; esac
done
# An installed copy writes nothing beside its executables, not even for root.
written=$(find "$root" -newer "$tmp/before-runs" | head -5)
[ -z "$written" ] || fail "written into the installed tree: $written"

[ "$failures" -eq 0 ] && echo "package: $(basename "$deb") checked" && exit 0
echo "$failures check(s) failed" >&2
exit 1
