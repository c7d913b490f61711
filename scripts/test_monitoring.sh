#!/usr/bin/env bash
# QarnDiag on the monitoring engines themselves, on loopback only: the
# command line of qarndiag-textfile.service's ExecStart, run as this test's
# own command against the stand-in reader library (whose texts carry
# quotes, backslashes, a line feed and a byte that is not UTF-8), writes the
# textfile; `promtool check metrics` accepts it; a node_exporter of this
# test's own, with its textfile collector on that folder, serves the samples
# over 127.0.0.1 with node_textfile_scrape_error 0; `systemd-analyze verify`
# accepts the units; a folder the check may not write is refused and left
# empty.  The machine's first process is not systemd here, so the timer
# itself cannot fire.
#
#   scripts/test_monitoring.sh <build-folder>
#
# Exits 0 when everything holds, 77 (skipped) when promtool or node_exporter
# is not installed (scripts/setup.sh --tests installs them), 1 with a message
# on the first failure.
set -u

if [ $# -ne 1 ] || [ ! -x "$1/bin/QarnDiag" ]; then
    echo "usage: $0 <built build folder>" >&2
    exit 2
fi
build=$(cd "$1" && pwd)
source_dir=$(cd "$(dirname "$0")/.." && pwd)
program=$build/bin/QarnDiag
units=$source_dir/resources/systemd
scrape_seconds=20

fail() {
    echo "FAILED: $*" >&2
    exit 1
}

for tool in promtool prometheus-node-exporter curl; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "skipped: $tool is not installed (scripts/setup.sh --tests installs it)"
        exit 77
    fi
done

work=$(mktemp -d)
exporter_pid=
cleanup() {
    if [ -n "$exporter_pid" ]; then
        kill -TERM "$exporter_pid" 2>/dev/null
        wait "$exporter_pid" 2>/dev/null
    fi
    rm -rf "$work"
}
trap cleanup EXIT
textfiles=$work/node-exporter
mkdir -p "$textfiles" "$work/config"

# The stand-in's texts: Lib "v1" \ <LF> <0xE9>, and the product Q'a|r <LF>n.
cat >"$work/scenario.json" <<'JSON'
{"version": {"hex": "4C69622022763122205C0AE9"}, "firmware": {"hex": "5127617C720A6E"}}
JSON
export NORVSIM_SCENARIO=$work/scenario.json XDG_CONFIG_HOME=$work/config XDG_CONFIG_DIRS=$work/config
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM

# 1. The service's command, with the built program and this test's folder.
exec_start=$(sed -n 's/^ExecStart=//p' "$units/qarndiag-textfile.service")
[ -n "$exec_start" ] || fail "qarndiag-textfile.service has no ExecStart"
command_line=${exec_start//\/usr\/bin\/qarndiag/$program}
command_line=${command_line//\/var\/lib\/prometheus\/node-exporter/$textfiles}
[ "$command_line" != "$exec_start" ] || fail "ExecStart names neither /usr/bin/qarndiag nor the textfile folder"
read -r -a words <<<"$command_line"
# As root, the command runs as another user (nobody standing in for the
# package's qarndiag) in a folder owned by root, which the package's
# tmpfiles.d rule opens to that user, as on a station.
run_as=()
as_user=
if [ "$(id -u)" -eq 0 ] && command -v setpriv >/dev/null 2>&1 && command -v systemd-tmpfiles >/dev/null 2>&1; then
    chmod 755 "$work"
    chmod -R a+rX "$work/config" "$work/scenario.json"
    sed -e "s|/var/lib/prometheus/node-exporter|$textfiles|" -e 's/u:qarndiag:/u:nobody:/' \
        "$units/qarndiag.tmpfiles" >"$work/tmpfiles.conf"
    systemd-tmpfiles --create "$work/tmpfiles.conf" || fail "systemd-tmpfiles --create with the package's rule"
    run_as=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
    as_user=" as nobody, through the package's tmpfiles.d rule"
fi
"${run_as[@]}" "${words[@]}" >"$work/check.log" 2>&1 ||
    { cat "$work/check.log" >&2; fail "ExecStart's command: ${words[*]}"; }
echo "ExecStart's command: ${exec_start}: status 0${as_user}"
[ "$(ls -A "$textfiles")" = qarndiag.prom ] || fail "the textfile folder holds: $(ls -A "$textfiles")"
prom=$textfiles/qarndiag.prom

# 2. promtool reads it as the Prometheus text format.
promtool check metrics <"$prom" >"$work/promtool.log" 2>&1 ||
    { cat "$work/promtool.log" "$prom" >&2; fail "promtool check metrics"; }
echo "promtool check metrics: accepted ($(grep -c "^qarndiag_" "$prom") samples)"
cat "$work/promtool.log"

# 3. node_exporter on a free loopback port serves the file.
started=
for _ in 1 2 3 4 5; do
    port=$((20000 + RANDOM % 20000))
    prometheus-node-exporter --collector.disable-defaults --collector.textfile \
        --collector.textfile.directory="$textfiles" \
        --web.listen-address="127.0.0.1:$port" >"$work/exporter.log" 2>&1 &
    exporter_pid=$!
    for _ in $(seq $((scrape_seconds * 10))); do
        if curl -s --max-time 2 -o "$work/scrape.txt" "http://127.0.0.1:$port/metrics"; then
            started=yes
            break
        fi
        kill -0 "$exporter_pid" 2>/dev/null || break
        sleep 0.1
    done
    [ -n "$started" ] && break
    kill -TERM "$exporter_pid" 2>/dev/null
    wait "$exporter_pid" 2>/dev/null
    exporter_pid=
done
[ -n "$started" ] || { cat "$work/exporter.log" >&2; fail "node_exporter did not answer on 127.0.0.1"; }
grep -q '^node_textfile_scrape_error 0$' "$work/scrape.txt" ||
    { grep textfile "$work/scrape.txt" >&2; fail "node_exporter could not read the textfile"; }
for sample in 'qarndiag_exit_status 0' 'qarndiag_reader_connected 1' 'qarndiag_library_available 1' \
    'qarndiag_info{device="USB",library_path="'"$build"'/bin/libnorvane.so",library_version="Lib \"v1\" \\\n\\xE9",product="Q'"'"'a|r\nn",version="2.0.0"} 1'; do
    grep -qxF "$sample" "$work/scrape.txt" || { grep qarndiag "$work/scrape.txt" >&2; fail "node_exporter does not serve: $sample"; }
done
echo "node_exporter on 127.0.0.1:$port serves $(grep -c '^qarndiag_' "$work/scrape.txt") qarndiag_ samples:"
grep -E '^(node_textfile_scrape_error|qarndiag_(info|exit_status|reader_connected))' "$work/scrape.txt"
kill -TERM "$exporter_pid"
wait "$exporter_pid" 2>/dev/null
exporter_pid=

# 4. The units as systemd reads them, the command pointing at the built
# program (verify wants it to exist); the manual page is the package's.
if command -v systemd-analyze >/dev/null 2>&1; then
    mkdir -p "$work/units"
    sed "s|/usr/bin/qarndiag|$program|" "$units/qarndiag-textfile.service" >"$work/units/qarndiag-textfile.service"
    cp "$units/qarndiag-textfile.timer" "$work/units/"
    said=$(cd "$work/units" && systemd-analyze verify --man=no qarndiag-textfile.service qarndiag-textfile.timer 2>&1)
    status=$?
    [ $status -eq 0 ] && [ -z "$said" ] || { echo "$said" >&2; fail "systemd-analyze verify (status $status)"; }
    echo "systemd-analyze verify: the service and the timer accepted"
else
    echo "skipped: systemd-analyze verify (systemd-analyze is not installed)"
fi

# 5. A folder the check may not write is refused before the run, and stays
# empty: as another user where this runs as root (root may write anywhere).
readonly_folder=$work/read-only
mkdir -p "$readonly_folder"
if [ ${#run_as[@]} -eq 0 ]; then
    [ "$(id -u)" -ne 0 ] || fail "setpriv or systemd-tmpfiles is not installed"
    chmod 555 "$readonly_folder"
fi
said=$("${run_as[@]}" "$program" --check --textfile "$readonly_folder" 2>&1)
status=$?
[ $status -eq 2 ] || fail "--textfile on a read-only folder ended with $status: $said"
echo "$said" | grep -q "is not writable" || fail "--textfile on a read-only folder said: $said"
[ -z "$(ls -A "$readonly_folder")" ] || fail "the read-only folder holds: $(ls -A "$readonly_folder")"
echo "read-only folder: status 2, '$(echo "$said" | head -n 1)'"
echo "monitoring: ok"
