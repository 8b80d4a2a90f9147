#!/usr/bin/env bash
# Builds the Debian package from a build tree that is already built, unpacks it
# into a temporary root and checks it as a user of the package would meet it.
# Usage: packaging/check-deb.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "check-deb: $*" >&2; exit 1; }

if ! cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log" >&2
  fail "cpack failed"
fi
debs=("$work"/out/stripothek_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one stripothek_*.deb, found: ${debs[*]}"
deb=${debs[0]}
root=$work/root
dpkg-deb -x "$deb" "$root"

app=de.stripothek.Stripothek
desktop=$root/usr/share/applications/$app.desktop
metainfo=$root/usr/share/metainfo/$app.metainfo.xml
for f in usr/bin/stripothek usr/bin/stripothek-db; do
  [ -x "$root/$f" ] || fail "$f missing or not executable"
  file "$root/$f" | grep -q ', stripped' || fail "$f is not stripped"
done
for f in "$desktop" "$metainfo" "$root/usr/share/icons/hicolor/scalable/apps/$app.svg" \
         "$root/usr/share/man/man1/stripothek.1.gz" "$root/usr/share/man/man1/stripothek-db.1.gz" \
         "$root/usr/share/doc/stripothek/README.md" "$root/usr/share/doc/stripothek/copyright"; do
  [ -s "$f" ] || fail "${f#"$root"} missing"
done

desktop-file-validate "$desktop"
appstreamcli validate --no-net "$metainfo" >"$work/appstream.log" || { cat "$work/appstream.log" >&2; fail "metainfo invalid"; }
# The menu entry starts a program of the package and shows its icon.
exec=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
[ -x "$root/usr/bin/$exec" ] || fail "Exec=$exec is not in the package"
icon=$(sed -n 's/^Icon=//p' "$desktop")
[ -s "$root/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "Icon=$icon is not in the package"
grep -q '^Categories=Office;' "$desktop" || fail "the menu entry is not in Office"
head -c 200 "$root/usr/share/icons/hicolor/scalable/apps/$icon.svg" | grep -q '<svg' || fail "the icon is no SVG"

# Dependencies as dpkg-shlibdeps found them, plus what Qt loads at run time.
depends=$(dpkg-deb -f "$deb" Depends)
for package in libc6 libqt6core6 libqt6widgets6 libqt6network6 libqt6httpserver6 libsqlite3-0 qt6-qpa-plugins; do
  grep -q "\b$package\b" <<<"$depends" || fail "Depends lacks $package: $depends"
done

# The packaged tool runs, and its manual page knows every command and option of its help.
help=$("$root/usr/bin/stripothek-db" --help)
manpage=$(zcat "$root/usr/share/man/man1/stripothek-db.1.gz" | sed 's/\\-/-/g')
words=$(grep -oE '^  [a-z]+ VERZEICHNIS|--[a-z]+' <<<"$help" | sed 's/^  //; s/ VERZEICHNIS//' | sort -u)
for word in $words; do
  grep -qe "$word" <<<"$manpage" || fail "the manual page does not mention $word"
done

# Both manual pages render without a complaint of groff; the program's names
# its switch and where it looks for the collection.
for page in stripothek stripothek-db; do
  warnings=$(zcat "$root/usr/share/man/man1/$page.1.gz" | groff -k -man -Tutf8 -ww -z 2>&1)
  [ -z "$warnings" ] || fail "the manual page of $page has faults: $warnings"
done
programpage=$(zcat "$root/usr/share/man/man1/stripothek.1.gz" | sed 's/\\-/-/g')
for word in KEYCTRLDISABLE database/stripothek.db 'stripothek-db create' STRIPOTHEK_COMICS_URL; do
  grep -qe "$word" <<<"$programpage" || fail "the manual page of stripothek does not mention $word"
done

# The copyright file in Debian's machine-readable form: every file of the
# package is covered, and every licence named has its text.
copyright=$root/usr/share/doc/stripothek/copyright
head -1 "$copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
  || fail "the copyright file is not in the machine-readable format"
grep -qx 'Files: \*' "$copyright" || fail "the copyright file does not cover every file (Files: *)"
for field in Upstream-Name Copyright License; do
  grep -q "^$field: ." "$copyright" || fail "the copyright file lacks $field"
done
# A paragraph whose licence has no text after its short name leaves a user without the terms.
awk '/^License: /{name=$0; getline; if ($0 !~ /^ /) {print name; bad=1}} END{exit bad}' "$copyright" \
  || fail "a licence of the copyright file has no text"

# The metainfo's newest release is the version of the package.
version=$(dpkg-deb -f "$deb" Version)
release=$(grep -o '<release [^>]*version="[^"]*"' "$metainfo" | head -1 | sed 's/.*version="//; s/"$//')
[ "$release" = "$version" ] || fail "the metainfo's newest release is '$release', the package is $version"

echo "check-deb: $(basename "$deb") is sound"
