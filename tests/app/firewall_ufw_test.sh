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
. "$source/tests/app/firewall_namespaces.sh"
command -v ufw >/dev/null || { echo "ufw is not installed (make deps); skipped"; exit 77; }
enter_private_namespaces "$@"
trap end_test EXIT

# ufw as a fresh installation has it, switched on: incoming connections
# dropped, no rule of the user's. With `profile`, the package's application.
fresh_ufw() {
  # The last run's copy off first, so that none of its rules stays in the
  # kernel; the machine's own /etc/ufw is never written.
  if mountpoint -q /etc/ufw; then
    ufw --force disable >/dev/null 2>&1 || true
    umount /etc/ufw /etc/default/ufw
  fi
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

make_headset_host 21
# A fake netsh that says when it runs.
mkdir -p "$work/bin"
printf '#!/bin/sh\necho "$@" >> %s/netsh-ran\n' "$work" > "$work/bin/netsh"
chmod 755 "$work/bin/netsh"

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
