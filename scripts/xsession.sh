# Sourced by the scripts that run QarnDiag under a virtual X server.
#   start_virtual_display        starts Xvfb and exports DISPLAY
#   start_and_wait_for_check P   starts program P (more arguments go before it
#                                as environment assignments) and waits until
#                                its start-up check is done
#   capture_connected_window F   clicks "Test communication", then
#                                "Contactless polling", and saves a PNG of
#                                the window to F once a poll has run
#   end_session                  ends the program and the X server
# The program's log is in $session_log.

session_log="$(mktemp)"
session_display_file="$(mktemp)"

end_session() {
    [ -n "${session_app_pid:-}" ] && kill "$session_app_pid" 2>/dev/null || true
    [ -n "${session_xvfb_pid:-}" ] && kill "$session_xvfb_pid" 2>/dev/null || true
    rm -f "$session_log" "$session_display_file"
}
trap end_session EXIT

start_virtual_display() {
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$session_display_file" 2>/dev/null &
    session_xvfb_pid=$!
    for _ in $(seq 100); do
        [ -s "$session_display_file" ] && break
        sleep 0.05
    done
    [ -s "$session_display_file" ] || { echo "the virtual X server did not start" >&2; return 1; }
    export DISPLAY=":$(cat "$session_display_file")"
}

start_and_wait_for_check() {
    env QT_LOGGING_RULES="qarndiag.startup.debug=true" "$@" >"$session_log" 2>&1 &
    session_app_pid=$!
    for _ in $(seq 200); do
        grep -q "startup check done" "$session_log" && return 0
        if ! kill -0 "$session_app_pid" 2>/dev/null; then
            cat "$session_log" >&2
            echo "QarnDiag ended before its start-up check" >&2
            return 1
        fi
        sleep 0.05
    done
    cat "$session_log" >&2
    echo "no start-up check within 10 s" >&2
    return 1
}

capture_connected_window() {
    local picture="$1" window
    window="$(xdotool search --sync --name '^Ardanel QarnDiag$' | head -n 1)"
    eval "$(xdotool getwindowgeometry --shell "$window")"
    # Centres of "Test communication" and "Contactless polling" in the window.
    xdotool mousemove $((X + 715)) $((Y + 213)) click 1
    sleep 1
    xdotool mousemove $((X + 710)) $((Y + 461)) click 1
    sleep 1.5
    xdotool mousemove $((X + 100)) $((Y + 300))
    mkdir -p "$(dirname "$picture")"
    import -window "$window" "$picture"
}
