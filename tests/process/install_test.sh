#!/bin/bash
# An installation into a prefix as a packager or a user makes it: both programs, the help file
# where an installed program finds it, the menu entries, the icon and the software-centre file,
# each valid for the desktop's own checkers when they are installed.
set -u
build=${1:?build directory}
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

cmake --install "$build" --prefix "$prefix" >"$prefix.log" 2>&1 || { cat "$prefix.log"; fail "cmake --install"; }
rm -f "$prefix.log"
for f in bin/lumorra bin/lmtray share/lumorra/lmhelp.hlp \
    share/applications/lumorra.desktop share/applications/lmtray.desktop \
    share/icons/hicolor/scalable/apps/lumorra.svg \
    share/metainfo/com.toviksoftware.Lumorra.metainfo.xml; do
    [ -e "$prefix/$f" ] || fail "the installation has no $f"
done
[ -x "$prefix/bin/lumorra" ] && [ -x "$prefix/bin/lmtray" ] || fail "the programs are not executable"
# The viewer the program loads, where the program looks for it when it runs installed.
compgen -G "$prefix/lib*/lumorra/lumorra_program.so" >/dev/null || fail "the installation has no viewer module"
[ "$("$prefix/bin/lumorra" --version)" = "Lumorra 3.0" ] || fail "lumorra --version"
"$prefix/bin/lumorra" --help | grep -q '^Usage: lumorra \[FILE|DIRECTORY\]' || fail "lumorra --help"
grep -q '^Exec=lumorra %f$' "$prefix/share/applications/lumorra.desktop" || fail "Exec line"
grep -q '^MimeType=.*image/jpeg;' "$prefix/share/applications/lumorra.desktop" || fail "MimeType"

if command -v desktop-file-validate >/dev/null 2>&1; then
    desktop-file-validate "$prefix"/share/applications/*.desktop || fail "desktop-file-validate"
else
    echo "note: desktop-file-validate is not installed; entries not validated"
fi
if command -v appstreamcli >/dev/null 2>&1; then
    appstreamcli validate --no-net "$prefix"/share/metainfo/*.xml || fail "appstreamcli validate"
else
    echo "note: appstreamcli is not installed; metainfo not validated"
fi
if command -v xmllint >/dev/null 2>&1; then
    xmllint --noout "$prefix/share/icons/hicolor/scalable/apps/lumorra.svg" || fail "icon is not well-formed"
fi
echo "install: all checks passed"
