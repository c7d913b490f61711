#!/bin/sh
# Checks the files that fit QarnDiag into a desktop: the menu entry, the
# AppStream metadata, and that the two agree with each other and with the
# icons installed beside them.  Exits non-zero on the first kind of failure
# found, after running every check.
#
#   scripts/validate_desktop_files.sh [build folder, ./build by default]
#
# The metadata is the one the build configured (it carries the version).
#
# Needs desktop-file-validate (desktop-file-utils) and appstreamcli (appstream).

set -u

root=$(cd "$(dirname "$0")/.." && pwd)
res=$root/resources
app_id=net.ardanel.QarnDiag
desktop=$res/$app_id.desktop
metainfo=${1:-$root/build}/resources/$app_id.metainfo.xml
failed=0
[ -f "$metainfo" ] || { echo "FAILED: no $metainfo (configure the build first)" >&2; exit 2; }

fail() {
    echo "FAILED: $*" >&2
    failed=1
}

for tool in desktop-file-validate appstreamcli; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "FAILED: $tool is not installed (apt-get install desktop-file-utils appstream)" >&2
        exit 2
    fi
done

# The menu entry: errors and warnings fail; hints (such as the entry being
# listed under both Utility and Settings, which is meant) do not.
out=$(desktop-file-validate "$desktop" 2>&1)
status=$?
[ -n "$out" ] && echo "$out"
if [ $status -ne 0 ] || echo "$out" | grep -q -e ': error:' -e ': warning:'; then
    fail "desktop-file-validate $desktop"
fi

# The metadata on its own (appstreamcli fails on errors and warnings).
if ! appstreamcli validate --no-net "$metainfo"; then
    fail "appstreamcli validate $metainfo"
fi

# Both laid out as the install rules lay them out, so that appstreamcli also
# checks that the launchable names the menu entry and that the icon exists.
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree/share/applications" "$tree/share/metainfo"
cp "$desktop" "$tree/share/applications/"
cp "$metainfo" "$tree/share/metainfo/"
for size in 16 32 48 64 128 256; do
    icon=$res/icons/qarndiag-$size.png
    if [ ! -f "$icon" ]; then
        fail "missing $icon"
        continue
    fi
    # Width and height are the big-endian words at bytes 16..23 of a PNG.
    dims=$(od -An -tu1 -j16 -N8 "$icon" | awk '{ printf "%dx%d", $3 * 256 + $4, $7 * 256 + $8 }')
    [ "$dims" = "${size}x${size}" ] || fail "$icon is $dims, not ${size}x${size}"
    mkdir -p "$tree/share/icons/hicolor/${size}x${size}/apps"
    cp "$icon" "$tree/share/icons/hicolor/${size}x${size}/apps/$app_id.png"
done
if ! appstreamcli validate-tree --no-net "$tree"; then
    fail "appstreamcli validate-tree (menu entry, metadata and icons together)"
fi

grep -qx "Icon=$app_id" "$desktop" || fail "$desktop does not name the icon $app_id"
grep -qx "Exec=QarnDiag" "$desktop" || fail "$desktop does not start QarnDiag"

if [ $failed -ne 0 ]; then
    exit 1
fi
echo "desktop files: ok"
