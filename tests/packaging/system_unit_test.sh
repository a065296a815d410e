#!/usr/bin/env bash
# The package installed with dpkg and its system unit run by systemd itself,
# on a private copy of this machine: /etc, /usr and /var are overlays in a
# mount namespace of its own, systemd boots as PID 1 of a PID namespace in a
# network namespace with only loopback, dpkg installs the package there, and
# the unit shares a sample clip that the packaged headset tool then lists;
# then the user unit does the same for a user of the copy. Nothing of the
# machine's own files, processes, package database or networks is touched.
#   system_unit_test.sh PACKAGE.deb WORK_DIR
# Needs the machine's root (not a user namespace's) and systemd; skips (77)
# without them.
set -euo pipefail

package=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
work=$2
here=$(cd "$(dirname "$0")" && pwd)

skip() {
  echo "SKIP: $*"
  exit 77
}

[ "$(id -u)" -eq 0 ] || skip "needs root"
# The root of a user namespace cannot mount overlays over /usr or boot systemd.
read -r uid_inside uid_outside uid_count </proc/self/uid_map
[ "$uid_inside $uid_outside $uid_count" = "0 0 4294967295" ] || skip "runs in a user namespace"
[ -x /lib/systemd/systemd ] || skip "no systemd on this machine"
[ -L /lib ] || skip "/lib is not merged into /usr; the overlay below assumes it is"
command -v ffmpeg >/dev/null || skip "no ffmpeg to make the sample clip"

rm -rf "$work"
for directory in etc usr var; do
  mkdir -p "$work/upper/$directory" "$work/workdirs/$directory"
done
mkdir -p "$work/media" "$work/package"
cp "$package" "$work/package/"
work=$(cd "$work" && pwd)

ffmpeg -nostdin -y -v error -f lavfi -i "testsrc2=s=320x240:r=25:d=2" \
  -c:v libx264 -preset veryfast -pix_fmt yuv420p "$work/media/clip.mp4"


# systemd makes cgroups for what it starts; each hierarchy gets a child of
# ours, which the cgroup namespace below shows it as its root.
cgroup=ondu-unit-test-$$
cgroup_dirs=()
remove_cgroups() {
  local dir
  for dir in "${cgroup_dirs[@]}"; do
    [ -d "$dir" ] && find "$dir" -depth -type d -exec rmdir {} + 2>/dev/null
  done
  return 0
}
boot_pid=
systemd_pid=
# unshare ignores SIGTERM while it waits; systemd as PID 1 powers off on
# SIGRTMIN+4, and the namespace ends with it.
stop_systemd() {
  if [ -n "$systemd_pid" ]; then
    kill -s SIGRTMIN+4 "$systemd_pid" 2>/dev/null || true
    for _ in $(seq 50); do
      kill -0 "$systemd_pid" 2>/dev/null || break
      sleep 0.1
    done
    kill -s KILL "$systemd_pid" 2>/dev/null || true
  fi
  [ -z "$boot_pid" ] || wait "$boot_pid" 2>/dev/null || true
  remove_cgroups
}
trap stop_systemd EXIT

# Every mounted hierarchy (one cgroup2 or several of version 1) but cpuset,
# whose children need their CPUs set before they take a process, and which
# systemd leaves alone.
while read -r point options; do
  case ",$options," in *,cpuset,*) continue ;; esac
  mkdir -p "$point/$cgroup" && cgroup_dirs+=("$point/$cgroup")
done < <(awk '$3 ~ /^cgroup2?$/ { print $2, $4 }' /proc/self/mounts)
[ "${#cgroup_dirs[@]}" -gt 0 ] || skip "no cgroup hierarchy to give systemd"

(
  for dir in "${cgroup_dirs[@]}"; do echo "$BASHPID" >"$dir/cgroup.procs"; done
  exec unshare --pid --fork --kill-child --mount --net --uts --ipc --cgroup --mount-proc \
    "$here/system_unit_boot.sh" "$work"
) >"$work/boot.log" 2>&1 &
boot_pid=$!

# unshare's child, the PID namespace's first process, is systemd once the
# boot script has made its mounts.
for _ in $(seq 100); do
  systemd_pid=$(pgrep -P "$boot_pid" -x systemd || true)
  [ -n "$systemd_pid" ] && break
  kill -0 "$boot_pid" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$systemd_pid" ]; then
  cat "$work/boot.log" >&2
  [ -z "$boot_pid" ] || kill -s KILL "$boot_pid" 2>/dev/null || true
  skip "systemd could not be booted in a namespace here"
fi

inside() { nsenter --target "$systemd_pid" --all -- "$@"; }
state=
for _ in $(seq 100); do
  state=$(inside systemctl is-system-running 2>/dev/null || true)
  case "$state" in running | degraded) break ;; esac
  sleep 0.1
done
case "$state" in
  running | degraded) ;;
  *) cat "$work/boot.log" >&2; echo "FAIL: systemd did not come up ($state)" >&2; exit 1 ;;
esac

fail() {
  echo "FAIL: $*" >&2
  inside journalctl --no-pager -u ondulofrin >&2 || true
  exit 1
}

# What the headset tool lists once the service answers, within 10 s.
listing_of_the_service() {
  local listing=
  for _ in $(seq 100); do
    listing=$(inside /usr/bin/ondu-headset list 127.0.0.1 2>&1) && break
    sleep 0.1
  done
  echo "$listing"
}

# There is only loopback to reach.
addresses=$(inside ip -4 -o addr show | awk '{ print $4 }')
[ "$addresses" = "127.0.0.1/8" ] || fail "the namespace has other addresses: $addresses"

# Installed as a user would, then told what to share; no daemon-reload, as
# the README asks none.
# (The manual index, of no use here, would take seconds to rebuild.)
inside rm -f /var/lib/man-db/auto-update
inside env DEBIAN_FRONTEND=noninteractive dpkg -i "/srv/package/$(basename "$package")" >"$work/dpkg.log" 2>&1 ||
  fail "dpkg -i: $(cat "$work/dpkg.log")"
inside sed -i -e 's|^ONDULOFRIN_PATHS=.*|ONDULOFRIN_PATHS="/srv/ondutest"|' \
  -e 's|^ONDULOFRIN_OPTIONS=.*|ONDULOFRIN_OPTIONS="--no-directory"|' /etc/default/ondulofrin
inside systemctl start ondulofrin || fail "systemctl start ondulofrin failed"
listing=$(listing_of_the_service)
grep -q "clip" <<<"$listing" || fail "ondu-headset list 127.0.0.1 did not show the clip: $listing"
echo "$listing"

# It runs as a user of its own, from its state directory, where its files land.
main_pid=$(inside systemctl show -P MainPID ondulofrin)
user=$(inside ps -o user= -p "$main_pid")
[ "$user" != root ] || fail "the service runs as root"
directory=$(inside readlink "/proc/$main_pid/cwd")
[ "$directory" = /var/lib/private/ondulofrin ] || fail "the service runs in $directory"
for file in Config.ini log_OK_M.log; do
  inside test -f "/var/lib/ondulofrin/$file" || fail "no $file in /var/lib/ondulofrin"
done
# The clip's entry is kept in the unit's cache directory.
inside sh -c 'test -f /var/cache/ondulofrin/*.entry' || fail "no title kept in /var/cache/ondulofrin"

# A reload reads the folder again, and the same process goes on serving.
inside cp /srv/ondutest/clip.mp4 /srv/ondutest/second.mp4
inside systemctl reload ondulofrin || fail "systemctl reload ondulofrin failed"
for _ in $(seq 50); do
  listing=$(listing_of_the_service)
  grep -q "second" <<<"$listing" && break
  sleep 0.1
done
grep -q "second" <<<"$listing" || fail "after the reload the second clip was not listed: $listing"
[ "$(inside systemctl show -P MainPID ondulofrin)" = "$main_pid" ] || fail "the reload restarted the service"
inside journalctl --no-pager -u ondulofrin | grep -q "SIGHUP: reading the library again" ||
  fail "the reload did not reach the service"

inside systemctl stop ondulofrin
result=$(inside systemctl show -P Result ondulofrin)
[ "$result" = success ] || fail "the stop ended in $result"

# Nothing to share is a mistake of the configuration: it fails once, with
# exit 2, and is not restarted.
inside sed -i 's|^ONDULOFRIN_PATHS=.*|ONDULOFRIN_PATHS=""|' /etc/default/ondulofrin
inside systemctl start ondulofrin || true
for _ in $(seq 50); do
  [ "$(inside systemctl is-active ondulofrin || true)" = failed ] && break
  sleep 0.1
done
sleep 0.5
status=$(inside systemctl show -P ExecMainStatus ondulofrin)
restarts=$(inside systemctl show -P NRestarts ondulofrin)
[ "$status" = 2 ] || fail "without paths the service exited $status, not 2"
[ "$restarts" = 0 ] || fail "without paths the service was restarted $restarts times"
echo "system unit: started by systemd, served the clip as $user, reloaded, stopped cleanly"

# The user unit, as `systemctl --user enable --now ondulofrin` starts it for
# a user (made in the overlaid /etc) whose manager runs without a login,
# sharing the unit's default folder, ~/Videos.
viewer=ondulofrin-viewer
inside useradd --create-home "$viewer"
uid=$(inside id -u "$viewer")
home=/home/$viewer
inside install -d -o "$uid" -g "$uid" -m 700 "/run/user/$uid" "$home/Videos" \
  "$home/.config/systemd/user"
inside install -o "$uid" -g "$uid" -m 644 /srv/ondutest/clip.mp4 "$home/Videos/"
inside chown -R "$uid:$uid" "$home/.config"
inside systemd-run --quiet --uid="$uid" --gid="$uid" --unit=ondulofrin-test-user-manager \
  -p Delegate=yes -E "XDG_RUNTIME_DIR=/run/user/$uid" -E "HOME=$home" /lib/systemd/systemd --user
as_viewer() {
  inside setpriv --reuid="$uid" --regid="$uid" --clear-groups \
    env "XDG_RUNTIME_DIR=/run/user/$uid" "HOME=$home" "$@"
}
for _ in $(seq 100); do
  state=$(as_viewer systemctl --user is-system-running 2>/dev/null || true)
  case "$state" in running | degraded) break ;; esac
  sleep 0.1
done
as_viewer systemctl --user enable --now ondulofrin 2>/dev/null || fail "the user unit did not start"
listing=$(listing_of_the_service)
grep -q "clip" <<<"$listing" || fail "the user unit did not serve the clip: $listing"
main_pid=$(as_viewer systemctl --user show -P MainPID ondulofrin)
[ "$(inside ps -o user= -p "$main_pid")" = "$viewer" ] || fail "the user unit runs as another user"
# Its state directory: ~/.config on Debian 12's systemd, ~/.local/state on later ones.
directory=$(inside readlink "/proc/$main_pid/cwd")
case "$directory" in
  "$home/.config/ondulofrin" | "$home/.local/state/ondulofrin") ;;
  *) fail "the user unit runs in $directory" ;;
esac
inside test -f "$directory/Config.ini" || fail "no Config.ini in $directory"
inside sh -c "test -f $home/.cache/ondulofrin/*.entry" || fail "no title kept in ~/.cache/ondulofrin"
as_viewer systemctl --user stop ondulofrin
[ "$(as_viewer systemctl --user show -P Result ondulofrin)" = success ] ||
  fail "the user unit's stop did not end in success"
echo "user unit: served the clip as $viewer from $directory, stopped cleanly"
