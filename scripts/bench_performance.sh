#!/usr/bin/env bash
# Measures QarnDiag under a virtual X server, each figure against a reference
# measured in the same run, and prints one table of the figures and their
# ratios:
#   - start-up: from the program's exec to its window shown, and to its
#     start-up check done (library version on screen), against a bare Qt
#     window of the same size (bench_minimal_window), and against the same
#     window showing one line of text, which adds the font set-up that every
#     window with text pays for; and the instructions to the window shown,
#     counted by callgrind when valgrind is installed, which do not move with
#     the machine's load;
#   - peak memory (VmHWM) of the same programs;
#   - CPU time while idle with polling off, against the bare window;
#   - CPU time with polling on against the stand-in reader, measured in the
#     real main window driven by bench_polling_cpu, against the same window
#     idling with polling off;
#   - the echo benchmark's figures, when scripts/bench_echo.sh exists: its
#     measured echo times against the stand-in's configured delays, and the
#     binding's call cost against direct calls of the library's exports.
# Not a test: the figures move with the machine's load.
#
#   scripts/bench_performance.sh [build-folder]   (default: build-bench-release)
#
# QARN_BENCH_RUNS start-ups of each program (default 7; medians are shown),
# QARN_BENCH_IDLE_SECONDS of idling (default 30).  Builds what it needs; a
# new build folder is configured Release.
set -euo pipefail
export LC_ALL=C.UTF-8

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-bench-release}
runs=${QARN_BENCH_RUNS:-7}
idle_seconds=${QARN_BENCH_IDLE_SECONDS:-30}
# QarnDiag runs its start-up check this long after its window is shown.
check_delay_ms=500
# Peak memory is read this long after a program is ready.
settle_seconds=1

progress() { echo "bench: $*" >&2; }
die() {
    echo "bench: FAILED: $*" >&2
    exit 1
}

case "$runs$idle_seconds" in *[!0-9]*) die "QARN_BENCH_RUNS and QARN_BENCH_IDLE_SECONDS are whole numbers" ;; esac
[ "$runs" -ge 1 ] && [ "$idle_seconds" -ge 1 ] || die "QARN_BENCH_RUNS and QARN_BENCH_IDLE_SECONDS are at least 1"

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQARN_BUILD_BENCHMARKS=ON >/dev/null
fi
build=$(cd "$build" && pwd)
cache_value() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt" | head -n 1; }
case "$(cache_value QARN_SANITIZE)" in
    ON|on|TRUE|true|1|YES|yes) die "$build is built with sanitizers; measure a normal build" ;;
esac
build_type=$(cache_value CMAKE_BUILD_TYPE)
case "$build_type" in
    Release|RelWithDebInfo|MinSizeRel) ;;
    *) progress "warning: $build is a ${build_type:-unnamed} build; figures of an optimised build are the ones to publish" ;;
esac
[ "$(cache_value QARN_BUILD_BENCHMARKS)" != OFF ] || die "$build is configured with QARN_BUILD_BENCHMARKS=OFF"
progress "building in $build"
cmake --build "$build" -j"$(nproc)" --target QarnDiag norvane bench_minimal_window bench_polling_cpu >/dev/null ||
    die "the build failed (cmake --build $build)"

qarndiag=$build/bin/QarnDiag
minimal=$build/bench/bench_minimal_window
harness=$build/bench/bench_polling_cpu
for program in "$qarndiag" "$minimal" "$harness"; do
    [ -x "$program" ] || die "no $program"
done
[ -f "$build/bin/libnorvane.so" ] || die "no stand-in reader library beside the program"

for tool in Xvfb awk; do
    command -v "$tool" >/dev/null 2>&1 || die "$tool is not installed (scripts/setup.sh --tests installs it)"
done

# The virtual X server; its session helpers end it on exit.
. "$root/scripts/xsession.sh"
work=$(mktemp -d)
cleanup() {
    # The programs this script started and that still run.
    local pid
    for pid in $(jobs -pr); do
        [ "$pid" = "${session_xvfb_pid:-}" ] || kill -KILL "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
    end_session
}
trap cleanup EXIT
start_virtual_display

# Every program gets its own settings folder, the built-in reader scenario,
# and the start-up log with the wall time of each line (UTC, milliseconds).
mkdir -p "$work/config" "$work/runtime"
chmod 700 "$work/runtime"
export XDG_CONFIG_HOME="$work/config" XDG_CONFIG_DIRS="$work/config" XDG_RUNTIME_DIR="$work/runtime"
unset NORVSIM_SCENARIO QT_QPA_PLATFORM QT_LOGGING_RULES QT_MESSAGE_PATTERN
export TZ=UTC

# start_logged <log> <program> [args...]: starts the program with its start
# moment (the wall time just before exec) in <log>.start; sets $started.
start_logged() {
    local log=$1
    shift
    (
        export QT_LOGGING_RULES="qarndiag.startup.debug=true"
        export QT_MESSAGE_PATTERN="%{time hh:mm:ss.zzz} %{category}: %{message}"
        echo "$EPOCHREALTIME" >"$log.start"
        exec "$@"
    ) >"$log" 2>&1 &
    started=$!
}

# wait_for_line <log> <pid> <text>: waits up to 20 s for a log line.
wait_for_line() {
    local log=$1 pid=$2 text=$3
    for _ in $(seq 400); do
        grep -q "$text" "$log" && return 0
        kill -0 "$pid" 2>/dev/null || { cat "$log" >&2; die "$(basename "$log") ended before \"$text\""; }
        sleep 0.05
    done
    cat "$log" >&2
    die "no \"$text\" within 20 s in $(basename "$log")"
}

# ms_after_start <log> <text>: milliseconds from the start moment to the
# first log line with the text.
ms_after_start() {
    local log=$1 text=$2
    awk -v start="$(cat "$log.start")" -v text="$text" '
        index($0, text) {
            split($1, t, ":")
            line = t[1] * 3600 + t[2] * 60 + t[3]
            begin = start % 86400
            d = line - begin
            if (d < -43200) d += 86400
            printf "%.0f\n", d * 1000
            exit
        }' "$log"
}

peak_kib() { awk '/^VmHWM:/ { print $2 }' "/proc/$1/status"; }

stop() {
    kill -TERM "$1" 2>/dev/null || true
    wait "$1" 2>/dev/null || true
}

# CPU time of all threads of a process, in nanoseconds.
cpu_ns() {
    local total=0 run task
    for task in /proc/"$1"/task/*/schedstat; do
        read -r run _ <"$task" 2>/dev/null || continue
        total=$((total + run))
    done
    echo "$total"
}

median() { sort -n | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# 1. Start-up and peak memory, the programs taking turns.
: >"$work/minimal.shown"
: >"$work/minimal.peak"
: >"$work/text.shown"
: >"$work/text.peak"
: >"$work/qarndiag.shown"
: >"$work/qarndiag.done"
: >"$work/qarndiag.peak"
for run in $(seq "$runs"); do
    progress "start-up run $run of $runs"

    log=$work/minimal.log
    start_logged "$log" "$minimal"
    wait_for_line "$log" "$started" "window shown"
    sleep "$settle_seconds"
    peak_kib "$started" >>"$work/minimal.peak"
    stop "$started"
    ms_after_start "$log" "window shown" >>"$work/minimal.shown"

    log=$work/text.log
    start_logged "$log" "$minimal" --with-text
    wait_for_line "$log" "$started" "window shown"
    sleep "$settle_seconds"
    peak_kib "$started" >>"$work/text.peak"
    stop "$started"
    ms_after_start "$log" "window shown" >>"$work/text.shown"

    log=$work/qarndiag.log
    start_logged "$log" "$qarndiag"
    wait_for_line "$log" "$started" "startup check done"
    grep -q "startup check done 0$" "$log" || { cat "$log" >&2; die "QarnDiag's start-up check did not find the stand-in reader library"; }
    sleep "$settle_seconds"
    peak_kib "$started" >>"$work/qarndiag.peak"
    stop "$started"
    ms_after_start "$log" "window shown" >>"$work/qarndiag.shown"
    ms_after_start "$log" "startup check done" >>"$work/qarndiag.done"
done

# 1b. The instructions from the start to the window shown, counted by
# callgrind: the start-up figure that does not move with the machine's load,
# where the times above move by several milliseconds from run to run.
# instructions_to_shown <program> [args...] prints the count.
instructions_to_shown() {
    local out=$work/callgrind.out log=$work/callgrind.log pid
    rm -f "$out"*
    start_logged "$log" valgrind --tool=callgrind --callgrind-out-file="$out" "$@"
    pid=$started
    wait_for_line "$log" "$pid" "window shown"
    callgrind_control --dump "$pid" >/dev/null 2>&1 || die "callgrind_control could not reach $1"
    for _ in $(seq 200); do
        grep -q '^totals:' "$out.1" 2>/dev/null && break
        sleep 0.05
    done
    stop "$pid"
    awk '/^totals:/ { print $2; exit }' "$out.1"
}
text_instructions=""
qarndiag_instructions=""
if command -v valgrind >/dev/null 2>&1 && command -v callgrind_control >/dev/null 2>&1; then
    progress "counting the instructions to the window shown (callgrind)"
    text_instructions=$(instructions_to_shown "$minimal" --with-text)
    qarndiag_instructions=$(instructions_to_shown "$qarndiag")
else
    progress "valgrind is not installed: no instruction counts (scripts/setup.sh --tests installs it)"
fi

# 2. Idle CPU: both programs idling side by side, and the polling harness
# (its own two phases of idle_seconds each) at the same time.
progress "idling ${idle_seconds} s (polling off), then ${idle_seconds} s more (polling on)"
start_logged "$work/harness.log" env LD_LIBRARY_PATH="$build/bin" "$harness" "$idle_seconds"
harness_pid=$started
start_logged "$work/minimal-idle.log" "$minimal"
minimal_pid=$started
start_logged "$work/qarndiag-idle.log" "$qarndiag"
qarndiag_pid=$started
wait_for_line "$work/minimal-idle.log" "$minimal_pid" "window shown"
wait_for_line "$work/qarndiag-idle.log" "$qarndiag_pid" "startup check done 0"
sleep 2
minimal_before=$(cpu_ns "$minimal_pid")
qarndiag_before=$(cpu_ns "$qarndiag_pid")
idle_begin=$EPOCHREALTIME
sleep "$idle_seconds"
minimal_after=$(cpu_ns "$minimal_pid")
qarndiag_after=$(cpu_ns "$qarndiag_pid")
idle_end=$EPOCHREALTIME
kill -0 "$minimal_pid" 2>/dev/null || die "the bare window ended while idling"
kill -0 "$qarndiag_pid" 2>/dev/null || die "QarnDiag ended while idling"
stop "$minimal_pid"
stop "$qarndiag_pid"
if ! wait "$harness_pid"; then
    cat "$work/harness.log" >&2
    die "bench_polling_cpu failed"
fi

# 3. The echo benchmark, when there is one.  It configures the folder it is
# given as a Release build, so it only gets this one when that is one already;
# otherwise it uses its own.
echo_rows=""
echo_notes=""
if [ -x "$root/scripts/bench_echo.sh" ]; then
    progress "running scripts/bench_echo.sh"
    echo_folder=()
    [ "$build_type" = Release ] && echo_folder=("$build")
    if ! "$root/scripts/bench_echo.sh" "${echo_folder[@]}" >"$work/echo.out" 2>"$work/echo.err"; then
        cat "$work/echo.out" "$work/echo.err" >&2
        die "scripts/bench_echo.sh failed"
    fi
    # Its per-size lines "<size> <configured> ms <per run...> <mean> <difference> ms" and
    # its call-cost lines "<what> <binding ns> <direct ns> <ratio>" become rows.
    echo_rows=$(awk '
        function num(x) { return x ~ /^[-+]?[0-9]+(\.[0-9]+)?$/ }
        /binding +direct +ratio/ { costs = 1; next }
        !costs && $0 ~ /^ +[0-9]+ +[0-9]+ ms / && num($(NF - 2)) {
            printf "| echo benchmark, %d-byte exchanges: DynBenchmark mean | %s ms | %s ms (configured echo delay) | %.2f | - |\n",
                $1, $(NF - 2), $2, ($2 > 0 ? $(NF - 2) / $2 : 0)
            next
        }
        costs && NF >= 4 && num($NF) && num($(NF - 1)) && num($(NF - 2)) {
            what = $0
            sub(/^ +/, "", what)
            sub(/ +[^ ]+ +[^ ]+ +[^ ]+ *$/, "", what)
            printf "| call cost, %s | %s ns | %s ns (direct export call) | %s | - |\n", what, $(NF - 2), $(NF - 1), $NF
        }' "$work/echo.out")
    if [ -n "$echo_rows" ]; then
        echo_notes=$(grep -e 'whole run' -e '^Echo accuracy' -e '^Call cost' "$work/echo.out" | sed 's/^ *//' || true)
    else
        # A layout this script does not know: shown as it is.
        echo_notes=$(grep -v -e '^\[[0-9]*/[0-9]*\]' -e '^ninja:' "$work/echo.out" || true)
    fi
fi

# 4. The table.
minimal_shown=$(median <"$work/minimal.shown")
qarndiag_shown=$(median <"$work/qarndiag.shown")
qarndiag_done=$(median <"$work/qarndiag.done")
minimal_peak=$(median <"$work/minimal.peak")
text_shown=$(median <"$work/text.shown")
text_peak=$(median <"$work/text.peak")
qarndiag_peak=$(median <"$work/qarndiag.peak")
read -r harness_off_wall harness_off_cpu < <(awk '$1 == "phase" && $2 == "off" { print $4, $6 }' "$work/harness.log") || true
read -r harness_on_wall harness_on_cpu harness_changes < <(awk '$1 == "phase" && $2 == "on" { print $4, $6, $8 }' "$work/harness.log") || true
[ -n "${harness_on_cpu:-}" ] && [ -n "${harness_off_cpu:-}" ] || { cat "$work/harness.log" >&2; die "bench_polling_cpu printed no figures"; }

ECHO_ROWS="$echo_rows" awk -v runs="$runs" -v idle="$idle_seconds" -v delay="$check_delay_ms" \
    -v m_shown="$minimal_shown" -v q_shown="$qarndiag_shown" -v q_done="$qarndiag_done" \
    -v m_peak="$minimal_peak" -v q_peak="$qarndiag_peak" \
    -v t_shown="$text_shown" -v t_peak="$text_peak" \
    -v t_instr="$text_instructions" -v q_instr="$qarndiag_instructions" \
    -v m_cpu=$((minimal_after - minimal_before)) -v q_cpu=$((qarndiag_after - qarndiag_before)) \
    -v idle_wall="$(awk -v a="$idle_begin" -v b="$idle_end" 'BEGIN { print b - a }')" \
    -v h_off_wall="$harness_off_wall" -v h_off_cpu="$harness_off_cpu" \
    -v h_on_wall="$harness_on_wall" -v h_on_cpu="$harness_on_cpu" -v h_changes="$harness_changes" '
    function ratio(a, b) { return b > 0 ? sprintf("%.2f", a / b) : "n/a" }
    function row(figure, value, reference, r, aim) {
        printf "| %s | %s | %s | %s | %s |\n", figure, value, reference, r, aim
    }
    BEGIN {
        m_pct = m_cpu / 1e9 / idle_wall * 100
        q_pct = q_cpu / 1e9 / idle_wall * 100
        off_pct = h_off_cpu / h_off_wall * 100
        on_pct = h_on_cpu / h_on_wall * 100
        print "| figure | QarnDiag | reference | ratio | aim |"
        print "| --- | --- | --- | --- | --- |"
        row("start-up to window shown (median of " runs ")",
            q_shown " ms", m_shown " ms (bare Qt window shown)", ratio(q_shown, m_shown), "within 1.3x")
        row("start-up to window shown, against a window with one line of text (median of " runs ")",
            q_shown " ms", t_shown " ms (Qt window with text shown)", ratio(q_shown, t_shown), "-")
        if (q_instr != "" && t_instr != "")
            row("instructions from the start to the window shown, counted by callgrind (steady from run to run)",
                sprintf("%.1f M", q_instr / 1e6), sprintf("%.1f M (Qt window with text)", t_instr / 1e6),
                ratio(q_instr, t_instr), "-")
        row("start-up to check done, library version on screen (the check runs " delay " ms after the window is shown, by design)",
            q_done " ms", m_shown " ms (bare Qt window shown)", ratio(q_done, m_shown), "-")
        row("the same, less the " delay " ms wait",
            (q_done - delay) " ms", m_shown " ms (bare Qt window shown)", ratio(q_done - delay, m_shown), "-")
        row("peak memory, VmHWM (median of " runs ")",
            sprintf("%.1f MiB", q_peak / 1024), sprintf("%.1f MiB (bare Qt window)", m_peak / 1024),
            ratio(q_peak, m_peak), "within 1.2x")
        row("peak memory, against a window with one line of text (median of " runs ")",
            sprintf("%.1f MiB", q_peak / 1024), sprintf("%.1f MiB (Qt window with text)", t_peak / 1024),
            ratio(q_peak, t_peak), "-")
        row("CPU while idle " idle " s, polling off",
            sprintf("%.3f %% (%.1f ms)", q_pct, q_cpu / 1e6),
            sprintf("%.3f %% (%.1f ms, bare Qt window)", m_pct, m_cpu / 1e6), ratio(q_cpu, m_cpu), "under 0.1 %")
        row("CPU over " idle " s, polling on against the stand-in (main window in bench_polling_cpu, " h_changes " card line changes)",
            sprintf("%.3f %% (%.1f ms)", on_pct, h_on_cpu),
            sprintf("%.3f %% (%.1f ms, same window, polling off)", off_pct, h_off_cpu), ratio(on_pct, off_pct), "-")
        if (ENVIRON["ECHO_ROWS"] != "")
            print ENVIRON["ECHO_ROWS"]
    }'
if [ -n "$echo_notes" ]; then
    echo
    echo "$echo_notes"
fi
