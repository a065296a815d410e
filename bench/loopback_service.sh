# Sourced by the benchmark scripts, which run in a private network namespace:
# sourcing it starts the calling script again inside one, then sets build to
# the build folder the script was given (build-bench, else build).
if [ "${ONDU_ISOLATED:-}" != 1 ]; then
    ONDU_ISOLATED=1 exec "$here/scripts/isolated" "$0" "$@"
fi
build=${1:-build-bench}
[ -d "$build" ] || build=build

# The service, and the headsets' process a script keeps in load_pid, end
# with the script, also on Ctrl-C.
server_pid=
load_pid=
stop_background() {
    for pid in $load_pid $server_pid; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    load_pid=
    server_pid=
}
trap stop_background EXIT
trap 'exit 130' INT TERM

# start_loopback_service BUILD_DIR LOG FILE...
#   starts OnduLofrin --serve on 127.0.0.1 with the files (absolute paths),
#   sets server_pid, and returns once the service answers a headset. With
#   service_descriptor_limit set, the service starts under that limit on open
#   descriptors, soft and hard.
service_descriptor_limit=
limit_service_descriptors() {
    [ -z "$service_descriptor_limit" ] || ulimit -n "$service_descriptor_limit"
}
start_loopback_service() {
    service_build=$1
    service_log=$2
    shift 2
    # The service writes its log and Config.ini where it runs.
    (cd "$service_build" && limit_service_descriptors &&
        exec ./OnduLofrin --serve --bind 127.0.0.1 --no-directory --no-cache "$@") \
        >"$service_log" 2>&1 &
    server_pid=$!
    for _ in $(seq 50); do
        "$service_build/ondu-headset" list 127.0.0.1 >/dev/null 2>&1 && return 0
        sleep 0.1
    done
}
