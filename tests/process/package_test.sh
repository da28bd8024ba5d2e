#!/bin/bash
# The Debian package as a user installs it: cpack makes lumorra_3.0_amd64.deb from the build,
# apt-get installs it with its dependencies, lumorra answers --version and shows a picture, lmtray
# starts from its desktop entry's command, and apt-get removes it again.
#
# It changes the system, so it runs only as root, with apt-get, and when LUMORRA_PACKAGE_TEST=1
# asks for it (CI does); otherwise it exits 77 (skipped).

set -u
build=${1:?build directory}

if [ "${LUMORRA_PACKAGE_TEST:-0}" != 1 ]; then
    echo "SKIP: set LUMORRA_PACKAGE_TEST=1 to build, install and remove the package"
    exit 77
fi
if [ "$(id -u)" -ne 0 ]; then
    echo "SKIP: installing the package needs root"
    exit 77
fi

shot_dir=
source "$(dirname "$0")/../support/xsession.sh"
needs_tools apt-get dpkg-deb dpkg-shlibdeps cpack Xvfb xdotool convert
removed() { ! dpkg-query -W -f='${Status}' lumorra 2>/dev/null | grep -q "install ok installed"; }
remove_package() {
    removed || apt-get remove -y -qq lumorra >"$work/remove.log" 2>&1
}
eval "plain_$(declare -f cleanup)"
cleanup() {
    remove_package
    plain_cleanup
}
trap cleanup EXIT

echo "== cpack -G DEB"
(cd "$build" && cpack -G DEB -B "$work/package") >"$work/cpack.log" 2>&1 || fail "cpack"
deb="$work/package/lumorra_3.0_amd64.deb"
[ -e "$deb" ] || fail "no lumorra_3.0_amd64.deb: $(ls "$work/package")"
dpkg-deb -c "$deb" >"$work/contents.txt" || fail "dpkg-deb -c"
for f in usr/bin/lumorra usr/bin/lmtray usr/share/lumorra/lmhelp.hlp \
    usr/share/applications/lumorra.desktop usr/share/applications/lmtray.desktop \
    usr/share/icons/hicolor/scalable/apps/lumorra.svg \
    usr/share/metainfo/com.toviksoftware.Lumorra.metainfo.xml; do
    grep -q " \./$f\$" "$work/contents.txt" || fail "the package has no $f"
done
grep -q ' \./usr/lib.*/lumorra/lumorra_program\.so$' "$work/contents.txt" || fail "the package has no viewer module"
depends=$(dpkg-deb -f "$deb" Depends)
for d in libqt6widgets6 libmpv2 libheif1 libjxl0.7 libavif15 libraw20 libtiff6 libwmf-0.2-7 libemf2svg1; do
    grep -q "$d" <<<"$depends" || fail "the package does not depend on $d: $depends"
done

echo "== apt-get install"
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >"$work/install.log" 2>&1 ||
    fail "apt-get install"
[ "$(/usr/bin/lumorra --version)" = "Lumorra 3.0" ] || fail "lumorra --version"

echo "== lmtray from its desktop entry"
command=$(sed -n 's/^Exec=//p' /usr/share/applications/lmtray.desktop)
[ -n "$command" ] || fail "lmtray's desktop entry has no Exec line"
export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state"
mkdir -p "$HOME"
start_x
conf="$work/config/Tovik Software/Lumorra.conf"
fail_files=("$conf")
# The entry's command as the desktop runs it, through the PATH.
(cd "$HOME" && exec $command) >"$work/lmtray.log" 2>&1 &
tray=$!
loaded() { grep -q '^SystrayLoaded=1' "$conf" 2>/dev/null; }
wait_for 20 "lmtray to say it runs" loaded
kill -0 "$tray" 2>/dev/null || fail "lmtray ended by itself"
kill -TERM "$tray"
wait "$tray"
grep -q '^SystrayLoaded=0' "$conf" || fail "lmtray did not end cleanly"

echo "== lumorra with a picture, as installed"
# Its viewer module and decoder from the package, not from the build.
convert -size 320x240 xc:'#00c000' "$work/photo.jpg" || fail "convert could not make the picture"
write_settings Systray=0 OLE=0 AutoZoom=1
(cd "$HOME" && unset LUMORRA_BIN_DIR && exec lumorra "$work/photo.jpg") >"$work/lumorra.log" 2>&1 &
viewer=$!
shown() { xdotool search --onlyvisible --name '^Lumorra' >/dev/null 2>&1; }
wait_for 20 "the installed lumorra to show its window" shown
kill -TERM "$viewer"
wait "$viewer"

echo "== apt-get remove"
remove_package || fail "apt-get remove"
removed || fail "the package is still installed"
[ ! -e /usr/bin/lumorra ] || fail "/usr/bin/lumorra is still there"
echo "package: all checks passed"
