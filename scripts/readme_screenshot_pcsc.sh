#!/usr/bin/env bash
# Makes the README's picture of QarnDiag on the reader library for PC/SC:
# a private pcscd with the virtual reader driver (scripts/pcscd_testbed.sh),
# a virtual contactless card on its first reader, and the real program,
# with the PC/SC library beside it, connected and polling, under a virtual
# X server.
#   scripts/readme_screenshot_pcsc.sh [build-folder] [picture.png]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
picture="${2:-$root/docs/qarndiag-pcsc.png}"
for file in bin/QarnDiag bin/qarn-vcard pcsc/libnorvane.so; do
    [ -x "$build/$file" ] || [ -f "$build/$file" ] ||
        { echo "build $file first (cmake --build $build)" >&2; exit 1; }
done
reason="$("$root/scripts/pcscd_testbed.sh" check)" || { echo "no private pcscd here: $reason" >&2; exit 1; }

# The program takes the reader library in its own folder first.
work="$(mktemp -d /tmp/qarndiag-pcsc.XXXXXX)"
cp "$build/bin/QarnDiag" "$build/pcsc/libnorvane.so" "$work/"
vcard_pid=
. "$root/scripts/xsession.sh"
cleanup_all() {
    [ -n "$vcard_pid" ] && kill "$vcard_pid" 2>/dev/null && wait "$vcard_pid" 2>/dev/null
    end_session
    "$root/scripts/pcscd_testbed.sh" stop "$work/bed"
    rm -rf "$work"
}
trap cleanup_all EXIT

started="$("$root/scripts/pcscd_testbed.sh" start "$work/bed")"
socket="$(echo "$started" | sed -n 's/^PCSCLITE_CSOCK_NAME=//p')"
port="$(echo "$started" | sed -n 's/^PORT=//p')"
"$build/bin/qarn-vcard" --port "$port" --uid 04A2197F3C5E80 &
vcard_pid=$!

start_virtual_display
start_and_wait_for_check PCSCLITE_CSOCK_NAME="$socket" XDG_CONFIG_HOME="$work/config" \
    XDG_CONFIG_DIRS="$work/config" "$work/QarnDiag"
grep -q "startup check done 0" "$session_log" || { cat "$session_log" >&2; exit 1; }

capture_connected_window "$picture"
echo "Picture of the window on the PC/SC reader library: $picture"
