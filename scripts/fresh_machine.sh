#!/usr/bin/env bash
# Times one of the README's two commands on a fresh Debian 12 machine: makes
# a throw-away Debian 12 root with debootstrap (minimal, from the Debian
# mirror), puts a clean clone of this repository's HEAD in it, and runs the
# command there as root, with /proc, /sys and /dev of this machine, without
# a display.  Prints the time the command took and the sizes before and
# after; the root, its mounts and whatever still runs in it are removed on
# every way out.  Needs root and debootstrap (scripts/setup.sh --tests).
#   scripts/fresh_machine.sh run|test [mirror]
# After "run", the screenshot is copied to /tmp/fresh-machine-qarndiag-start.png.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
case "${1:-}" in
    run | test) command="scripts/$1.sh" ;;
    *) echo "usage: $0 run|test [mirror]" >&2; exit 2 ;;
esac
mirror="${2:-http://deb.debian.org/debian}"
[ "$(id -u)" -eq 0 ] || { echo "$0 needs root (debootstrap, chroot, mounts)" >&2; exit 2; }
command -v debootstrap >/dev/null || { echo "debootstrap is missing (scripts/setup.sh --tests installs it)" >&2; exit 2; }

fresh="$(mktemp -d /var/tmp/qarndiag-fresh.XXXXXX)"
chmod 755 "$fresh" # its "/" for every user in it (apt's own, for one)
mounted=()

# Ends what still runs inside the root, then unmounts, then removes it; the
# root is removed only once nothing is mounted below it.
cleanup() {
    local pid tries
    for tries in 1 2 3; do
        for pid in $(ls /proc | grep -E '^[0-9]+$'); do
            [ "$(readlink "/proc/$pid/root" 2>/dev/null)" = "$fresh" ] && kill -KILL "$pid" 2>/dev/null
        done
        sleep 0.5
    done
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
        umount -R "${mounted[$i]}" 2>/dev/null || umount -R -l "${mounted[$i]}" 2>/dev/null || true
    done
    if grep -q " $fresh[/ ]" /proc/mounts; then
        echo "still mounted below $fresh, left in place:" >&2
        grep " $fresh[/ ]" /proc/mounts >&2
        return
    fi
    rm -rf --one-file-system "$fresh"
    rm -f "$fresh.debootstrap.log"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

size() { du -sm --one-file-system "$1" | cut -f1; }

echo "== debootstrap Debian 12 (minbase) into $fresh"
start=$(date +%s)
debootstrap --variant=minbase bookworm "$fresh" "$mirror" >"$fresh.debootstrap.log" 2>&1 ||
    { tail -n 20 "$fresh.debootstrap.log" >&2; exit 1; }
echo "debootstrap: $(($(date +%s) - start)) s, root $(size "$fresh") MiB"

cp /etc/resolv.conf "$fresh/etc/resolv.conf"
# The root a mount point of its own, as "/" is on a machine: else a private
# mount namespace cannot be made in it (the PC/SC tests' daemon needs one).
mount --bind "$fresh" "$fresh"
mount --make-private "$fresh"
mounted+=("$fresh")
for place in proc sys dev; do
    mount --rbind "/$place" "$fresh/$place"
    mount --make-rslave "$fresh/$place"
    mounted+=("$fresh/$place")
done

work=/root/qarndiag
git clone --quiet --no-local "$root" "$fresh$work"
git -C "$fresh$work" checkout --quiet --detach "$(git -C "$root" rev-parse HEAD)"
echo "clean clone of $(git -C "$root" rev-parse --short HEAD) in $work"
before=$(size "$fresh")

echo "== $command in the fresh root (no display)"
start=$(date +%s.%N)
status=0
chroot "$fresh" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM=dumb \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    /bin/bash -c "cd $work && $command" || status=$?
seconds=$(awk -v a="$(date +%s.%N)" -v b="$start" 'BEGIN { printf "%.0f", a - b }')
after=$(size "$fresh")
if [ "$1" = run ] && [ -f "$fresh$work/build-run/qarndiag-start.png" ]; then
    cp "$fresh$work/build-run/qarndiag-start.png" /tmp/fresh-machine-qarndiag-start.png
    echo "screenshot: /tmp/fresh-machine-qarndiag-start.png"
fi
echo "== $command on a fresh Debian 12: exit status $status, $seconds s;" \
    "root ${before} MiB before, ${after} MiB after (build folders $(du -smc "$fresh$work"/build* 2>/dev/null | tail -n 1 | cut -f1) MiB)"
exit "$status"
