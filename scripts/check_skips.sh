#!/usr/bin/env bash
# Checks the skips of one ctest run against the list of skips allowed, read
# from standard input, and fails when any other test or row was skipped.
#   scripts/check_skips.sh <ctest JUnit file> <build kind> < allowed-list
# The JUnit file is ctest's --output-junit. A skip is a QtTest row that
# printed "SKIP   : " (its message: that line), or a test that ended with its
# SKIP_RETURN_CODE and printed no such row (its message: its last two lines).
# The list has one skip a line, "kind | test | message | why", blanks around
# the bars ignored, "#" comments and empty lines left out:
#   kind     the build kind it applies to ("normal", "sanitize"), or "*";
#   test     an extended regular expression for the whole ctest name;
#   message  an extended regular expression found in the skip's message;
#   why      why the test command allows it, printed with the skip.
set -euo pipefail
junit="$1" kind="$2"
[ -r "$junit" ] || { echo "no ctest JUnit file $junit" >&2; exit 2; }

allowed=()
while IFS= read -r line; do
    line="${line%%#*}"
    [[ "$line" =~ ^[[:space:]]*$ ]] && continue
    allowed+=("$line")
done

trim() { local text="$1"; text="${text#"${text%%[![:space:]]*}"}"; printf '%s' "${text%"${text##*[![:space:]]}"}"; }

# One skip a line: the test's name, a tab, its message.
skips() {
    awk '
        function text(s) {
            gsub(/&lt;/, "<", s); gsub(/&gt;/, ">", s); gsub(/&quot;/, "\"", s)
            gsub(/&apos;/, "\047", s); gsub(/&amp;/, "\\&", s); return s
        }
        /<testcase name="/ {
            name = $0; sub(/.*<testcase name="/, "", name); sub(/".*/, "", name)
            name = text(name); skipped = 0; rows = 0; out = ""; last = ""
        }
        /<skipped / { skipped = 1 }
        /<system-out>/ { reading = 1; sub(/.*<system-out>/, "") }
        reading {
            done = sub(/<\/system-out>.*/, "")
            line = text($0)
            if (line ~ /^SKIP   : /) { print name "\t" line; rows++ }
            if (line !~ /^[[:space:]]*$/) { out = last; last = line }
            if (done) reading = 0
        }
        /<\/testcase>/ && skipped && !rows { print name "\t" (out == "" ? last : out " / " last) }
    ' "$junit"
}

refused=0
while IFS=$'\t' read -r test message; do
    why=""
    for entry in "${allowed[@]}"; do
        IFS='|' read -r k t m w <<<"$entry"
        k="$(trim "$k")" t="$(trim "$t")" m="$(trim "$m")" w="$(trim "$w")"
        if [[ ( "$k" == "*" || "$k" == "$kind" ) && "$test" =~ ^($t)$ && "$message" =~ $m ]]; then
            why="$w"
            break
        fi
    done
    if [ -n "$why" ]; then
        echo "skipped, allowed: $test: $message ($why)"
    else
        echo "SKIPPED, NOT ALLOWED: $test: $message" >&2
        refused=1
    fi
done < <(skips)

if [ "$refused" != 0 ]; then
    echo "The test command runs every test but those its list allows to skip (scripts/test.sh):" \
         "install what the skip names (scripts/setup.sh --tests) or mend the test." >&2
    exit 1
fi
