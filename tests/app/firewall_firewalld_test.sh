#!/usr/bin/env bash
# Tries the firewall step with a real firewalld, as the ufw test does with
# ufw: a firewalld of its own on a private system bus, in private mount and
# network namespaces, so that the machine's firewall and bus stay as they
# are. The headless start must say that headsets are kept out and name
# firewall-cmd's commands; after them a headset on a second namespace
# connects and a second start says nothing.
#
# Skipped where firewalld is missing: it is not among the packages the tests
# install, because installing it on a desktop starts it and closes the
# machine's ports.
#   firewall_firewalld_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail

build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
. "$source/tests/app/firewall_namespaces.sh"
command -v firewalld >/dev/null || { echo "firewalld is not installed; skipped"; exit 77; }
enter_private_namespaces "$@"
trap end_test EXIT

# A private system bus, and firewalld's own folders.
mkdir -p "$work/etc-firewalld" "$work/run"
cp -a /etc/firewalld/. "$work/etc-firewalld/" 2>/dev/null || true
mkdir -p "$work/etc-firewalld/services"
cp "$source/packaging/firewalld/ondulofrin.xml" "$work/etc-firewalld/services/"
mount --bind "$work/etc-firewalld" /etc/firewalld
mount -t tmpfs tmpfs /run
cat >"$work/bus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=/run/dbus/system_bus_socket</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/><allow own="*"/><allow send_destination="*"/><allow receive_sender="*"/>
    <allow send_type="method_call"/><allow send_type="method_return"/><allow send_type="signal"/><allow send_type="error"/>
  </policy>
</busconfig>
CONF
mkdir -p /run/dbus
dbus-daemon --config-file="$work/bus.conf" --nofork --nopidfile 2>"$work/bus.log" &
pids+=($!)
for _ in $(seq 100); do [ -S /run/dbus/system_bus_socket ] && break; sleep 0.05; done
firewalld --nofork --nopid >"$work/firewalld.log" 2>&1 &
pids+=($!)
for _ in $(seq 200); do firewall-cmd --state >/dev/null 2>&1 && break; sleep 0.1; done
firewall-cmd --state >/dev/null 2>&1 || { cat "$work/firewalld.log" >&2; echo "FAIL: firewalld did not start" >&2; exit 1; }

make_headset_host 22

serve
line=$(firewall_lines)
[ "$line" = "OnduLofrin: firewalld keeps headsets out of port 23107/tcp; to let them in: sudo firewall-cmd --permanent --add-service=ondulofrin && sudo firewall-cmd --reload" ] ||
  fail "first start said: '$line'"
[ "$connected" = no ] || fail "a headset connected through firewalld's default zone"
command=${line##*to let them in: }
eval "${command//sudo /}" >/dev/null
serve
[ -z "$(firewall_lines)" ] || fail "a second start still says: $(firewall_lines)"
[ "$connected" = yes ] || fail "after '$command' no headset connects"
[ "$failures" -eq 0 ] && echo "firewalld: all checks passed"
exit "$failures"
