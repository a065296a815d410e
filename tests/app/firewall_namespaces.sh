# Shared by the firewall tests, sourced after BUILD_DIR and SOURCE_DIR are
# read into $build and $source: the test runs again inside a mount and
# network namespace of its own (as root, where firewall state can be made
# private), beside a headset's namespace joined to it by a veth pair, and
# starts the headless service there.

# Root of the machine, not the root a user namespace maps a user to (as
# scripts/isolated does for a normal user): only that one may read the
# firewall's files and set up its rules.
is_machine_root() {
  local inside outside count
  [ "$(id -u)" -eq 0 ] || return 1
  read -r inside outside count </proc/self/uid_map
  [ "$inside" = 0 ] && [ "$outside" = 0 ] && [ "$count" = 4294967295 ]
}

# Runs the calling script again in private namespaces, once; exits 77
# (skipped) when not root.
enter_private_namespaces() {
  is_machine_root || { echo "the firewall's private namespaces need root; skipped"; exit 77; }
  if [ -z "${ONDU_FIREWALL_INSIDE:-}" ]; then
    exec env ONDU_FIREWALL_INSIDE=1 unshare --mount --net --propagation private -- "$0" "$@"
  fi
  ip link set lo up
}

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# Processes to end when the test ends, and a folder that goes with it.
pids=()
work=$(mktemp -d)
end_test() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}

# The headset's host on 10.231.SUBNET.0/24: a namespace held by a sleeping
# process; the server is .1, the headset .2.
make_headset_host() {
  local subnet=$1
  server_address=10.231.$subnet.1
  unshare --net -- sleep 600 &
  holder=$!
  pids+=("$holder")
  for _ in $(seq 100); do
    [ "$(readlink /proc/$holder/ns/net)" != "$(readlink /proc/self/ns/net)" ] && break
    sleep 0.05
  done
  ip link add ondu-fw-server type veth peer name ondu-fw-headset netns "$holder"
  ip addr add "$server_address/24" dev ondu-fw-server
  ip link set ondu-fw-server up
  nsenter -t "$holder" -n ip link set lo up
  nsenter -t "$holder" -n ip addr add "10.231.$subnet.2/24" dev ondu-fw-headset
  nsenter -t "$holder" -n ip link set ondu-fw-headset up
}

# Starts the headless service as user id ${1:-0} in $work/home with
# $work/bin first on PATH, waits until it listens, tries a headset's
# connection ($connected: yes or no), then stops it. Its standard error is
# left in $work/home/err.txt.
serve() {
  local user=${1:-0}
  mkdir -p "$work/home" "$work/bin"
  chmod 777 "$work" "$work/home"
  rm -f "$work/home/out.txt" "$work/home/err.txt"
  # Another user may not reach the build tree (a clone in a home folder or
  # in /root), so that user runs copies.
  local program=$build/OnduLofrin title=$source/README.md
  if [ "$user" != 0 ]; then
    cp "$program" "$title" "$work/"
    chmod 755 "$work/OnduLofrin"
    chmod 644 "$work/README.md"
    program=$work/OnduLofrin title=$work/README.md
  fi
  (cd "$work/home" && exec setpriv --reuid="$user" --regid="$user" --clear-groups \
    env PATH="$work/bin:/usr/sbin:/usr/bin:/sbin:/bin" \
    "$program" --serve --bind "$server_address" "$title" \
    >"$work/home/out.txt" 2>"$work/home/err.txt") &
  local server=$!
  for _ in $(seq 200); do
    grep -q '^listening on' "$work/home/out.txt" 2>/dev/null && break
    sleep 0.05
  done
  grep -q "^listening on $server_address:23107" "$work/home/out.txt" ||
    fail "the service does not listen: $(cat "$work/home/out.txt" "$work/home/err.txt")"
  # The firewall's line comes after the start's report; firewall-cmd is slow.
  sleep 1
  connected=no
  nsenter -t "$holder" -n timeout 3 bash -c "exec 3<>/dev/tcp/$server_address/23107" 2>/dev/null &&
    connected=yes
  kill -INT "$server"
  wait "$server" || true
}

firewall_lines() {
  grep -i -e ufw -e firewall "$work/home/err.txt" || true
}
