#!/usr/bin/env bash
# Runs every benchmark and ends with a table of what each found against its
# target: the bench/*_bench programs of BUILD_DIR, bench/load.sh,
# bench/packaged_memory.sh, bench/silent_connections.sh and a short bench/soak.sh (SOAK_SECONDS, 30 by
# default here). Each one's last line is
#   verdict | NAME | FIGURE | TARGET | meets (or misses)
# and its whole output is kept in BUILD_DIR/bench-logs/NAME.log. A benchmark
# that prints no verdict shows as "failed" and makes the exit status 1; a
# target missed is reported in the table, not in the exit status, since the
# figures depend on the machine.
#   bench/run-all.sh [BUILD_DIR]
# Everything runs in one private network namespace.
set -u

here=$(cd "$(dirname "$0")/.." && pwd)
if [ "${ONDU_ISOLATED:-}" != 1 ]; then
    ONDU_ISOLATED=1 exec "$here/scripts/isolated" "$0" "$@"
fi

build=${1:-build-bench}
[ -d "$build" ] || build=build
export SOAK_SECONDS=${SOAK_SECONDS:-30}
logs=$build/bench-logs
mkdir -p "$logs"
rows=()
failed=0
missed=0

# run NAME COMMAND...: shows the output as it comes and keeps its verdict.
run() {
    local name=$1
    shift
    echo
    echo "== $name"
    "$@" 2>&1 | tee "$logs/$name.log"
    local status=${PIPESTATUS[0]}
    local verdict
    verdict=$(grep '^verdict | ' "$logs/$name.log" | tail -n 1)
    if [ -z "$verdict" ]; then
        rows+=("| $name | no verdict (exit $status, see $logs/$name.log) | | failed |")
        failed=$((failed + 1))
        return
    fi
    rows+=("${verdict#verdict } |")
    case "$verdict" in *"| misses") missed=$((missed + 1)) ;; esac
}

for program in "$build"/bench/*_bench; do
    run "$(basename "$program")" "$program"
done
run load.sh "$here/bench/load.sh" "$build"
run packaged_memory.sh "$here/bench/packaged_memory.sh" "$build"
run silent_connections.sh "$here/bench/silent_connections.sh" "$build"
run soak.sh "$here/bench/soak.sh" "$build"

echo
echo "| benchmark | figure | target | verdict |"
echo "|---|---|---|---|"
printf '%s\n' "${rows[@]}"
echo
echo "${#rows[@]} benchmarks: $((${#rows[@]} - missed - failed)) meet their targets," \
    "$missed miss them, $failed failed"
[ "$failed" -eq 0 ]
