#!/usr/bin/env bash
# The firewall step with the real ufw, on in its defaults, in private mount
# and network namespaces so that the machine's own rules never change: the
# headless start says that headsets are kept out and how to let them in; a
# headset on a second namespace cannot connect before and can after that
# command, or after the window's helper run through a stand-in for pkexec
# that grants; a second start says nothing; without the rights to read the
# rules, the start says headsets "may" be kept out; netsh never runs.
#   firewall_ufw_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail

build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
skipped=77
[ "$(id -u)" -eq 0 ] || { echo "ufw's private namespaces need root; skipped"; exit $skipped; }
command -v ufw >/dev/null || { echo "ufw is not installed (make deps); skipped"; exit $skipped; }
if [ -z "${ONDU_FIREWALL_INSIDE:-}" ]; then
  exec env ONDU_FIREWALL_INSIDE=1 unshare --mount --net --propagation private -- "$0" "$@"
fi

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

work=$(mktemp -d)
holder=
cleanup() {
  [ -n "$holder" ] && kill "$holder" 2>/dev/null
  umount /etc/ufw /etc/default/ufw 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
ip link set lo up

# ufw as a fresh installation has it, switched on: incoming connections
# dropped, no rule of the user's. With `profile`, the package's application.
fresh_ufw() {
  # Off first, so that no rule of the last run stays in the kernel.
  ufw --force disable >/dev/null 2>&1 || true
  umount /etc/ufw /etc/default/ufw 2>/dev/null || true
  rm -rf "$work/etc"
  mkdir -p "$work/etc"
  cp -a /etc/ufw "$work/etc/ufw"
  cp -a /etc/default/ufw "$work/etc/default-ufw"
  rm -f "$work/etc/ufw/applications.d/ondulofrin"
  mount --bind "$work/etc/ufw" /etc/ufw
  mount --bind "$work/etc/default-ufw" /etc/default/ufw
  if [ "${1:-}" = profile ]; then
    cp "$source/packaging/ufw/ondulofrin" /etc/ufw/applications.d/
  fi
  ufw --force reset >/dev/null
  ufw --force enable >/dev/null
}

# The headset's host: a namespace held by a sleeping process, joined to this
# one by a veth pair; the server is 10.231.21.1, the headset .2.
unshare --net -- sleep 600 &
holder=$!
for _ in $(seq 100); do
  [ "$(readlink /proc/$holder/ns/net)" != "$(readlink /proc/self/ns/net)" ] && break
  sleep 0.05
done
ip link add ondu-fw-server type veth peer name ondu-fw-headset netns "$holder"
ip addr add 10.231.21.1/24 dev ondu-fw-server
ip link set ondu-fw-server up
nsenter -t "$holder" -n ip link set lo up
nsenter -t "$holder" -n ip addr add 10.231.21.2/24 dev ondu-fw-headset
nsenter -t "$holder" -n ip link set ondu-fw-headset up

headset_connects() {
  nsenter -t "$holder" -n timeout 3 bash -c 'exec 3<>/dev/tcp/10.231.21.1/23107' 2>/dev/null
}

# A fake netsh that says when it runs.
mkdir -p "$work/bin"
printf '#!/bin/sh\necho "$@" >> %s/netsh-ran\n' "$work" > "$work/bin/netsh"
chmod 755 "$work/bin/netsh"
mkdir -p "$work/home"
chmod 777 "$work" "$work/home"

# Starts the headless service as `user` (root by default), waits until it
# listens, runs the checks given, then stops it. Its standard error ends in
# $work/home/err.txt.
serve() {
  local user=${1:-0}
  rm -f "$work/home/out.txt" "$work/home/err.txt"
  (cd "$work/home" && exec setpriv --reuid="$user" --regid="$user" --clear-groups \
    env PATH="$work/bin:/usr/sbin:/usr/bin:/sbin:/bin" \
    "$build/OnduLofrin" --serve --bind 10.231.21.1 "$source/README.md" \
    >"$work/home/out.txt" 2>"$work/home/err.txt") &
  local server=$!
  for _ in $(seq 200); do
    grep -q '^listening on' "$work/home/out.txt" 2>/dev/null && break
    sleep 0.05
  done
  grep -q '^listening on 10.231.21.1:23107' "$work/home/out.txt" ||
    fail "the service does not listen: $(cat "$work/home/out.txt" "$work/home/err.txt")"
  # The firewall line comes right after the start's report.
  sleep 0.2
  connected=no
  headset_connects && connected=yes
  kill -INT "$server"
  wait "$server" || true
}

firewall_lines() {
  grep -i -e ufw -e firewall "$work/home/err.txt" || true
}

# --- without the package's profile: the port, by the command the line gives
fresh_ufw
serve
line=$(firewall_lines)
[ "$line" = "OnduLofrin: ufw keeps headsets out of port 23107/tcp; to let them in: sudo ufw allow 23107/tcp" ] ||
  fail "first start said: '$line'"
[ "$connected" = no ] || fail "a headset connected through ufw's defaults"
command=${line##*to let them in: sudo }
$command >/dev/null
serve
[ -z "$(firewall_lines)" ] || fail "a second start still says: $(firewall_lines)"
[ "$connected" = yes ] || fail "after '$command' no headset connects"

# --- with the package's profile: the application, through the window's
# helper run by a stand-in for pkexec that grants
fresh_ufw profile
serve
line=$(firewall_lines)
[ "$line" = "OnduLofrin: ufw keeps headsets out of port 23107/tcp; to let them in: sudo ufw allow OnduLofrin" ] ||
  fail "start with the profile said: '$line'"
[ "$connected" = no ] || fail "a headset connected through ufw's defaults (profile installed)"
printf '#!/bin/sh\nexec "$@"\n' > "$work/bin/pkexec"
chmod 755 "$work/bin/pkexec"
PATH="$work/bin:$PATH" pkexec "$build/ondulofrin-firewall" ufw-application >/dev/null ||
  fail "the helper failed"
ufw status | grep -q '^OnduLofrin  *ALLOW' || fail "no rule for the application: $(ufw status)"
serve
[ -z "$(firewall_lines)" ] || fail "after the helper a start still says: $(firewall_lines)"
[ "$connected" = yes ] || fail "after the helper no headset connects"

# --- without the rights to read the rules: "may"
fresh_ufw
serve 65534
line=$(firewall_lines)
[ "$line" = "OnduLofrin: ufw is on and may keep headsets out of port 23107/tcp (its rules are readable by root only); to let them in: sudo ufw allow 23107/tcp" ] ||
  fail "a user's start said: '$line'"

# --- switched off: nothing
ufw --force disable >/dev/null
serve
[ -z "$(firewall_lines)" ] || fail "with ufw off a start says: $(firewall_lines)"
[ "$connected" = yes ] || fail "with ufw off no headset connects"

[ ! -e "$work/netsh-ran" ] || fail "netsh ran: $(cat "$work/netsh-ran")"
[ "$failures" -eq 0 ] && echo "ufw: all checks passed"
exit "$failures"
