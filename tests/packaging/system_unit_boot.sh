#!/usr/bin/env bash
# The first process of system_unit_test.sh's namespaces: lays the installed
# package over this machine's /etc, /usr and /var, gives systemd a /run, /tmp,
# /srv, /home and cgroups of its own, and becomes systemd.
#   system_unit_boot.sh WORK_DIR
set -euo pipefail
work=$1

ip link set lo up
mount --make-rprivate /
for directory in etc usr var; do
  mount -t overlay overlay \
    -o "lowerdir=/$directory,upperdir=$work/upper/$directory,workdir=$work/workdirs/$directory" \
    "/$directory"
done
# The clip where every user may read it, and the package; then the work
# folder may vanish under the new /tmp.
mount -t tmpfs -o mode=755 tmpfs /srv
mkdir -m 755 /srv/ondutest
install -m 644 "$work/media/clip.mp4" /srv/ondutest/
install -D -m 644 -t /srv/package "$work"/package/*.deb
mount -t tmpfs -o mode=755 tmpfs /run
mount -t tmpfs -o mode=1777 tmpfs /tmp
# The home of the user the user unit runs for.
mount -t tmpfs -o mode=755 tmpfs /home

# Mounted afresh inside the cgroup namespace, each hierarchy's root is the
# child cgroup the test made.
hierarchies=$(awk '$3 ~ /^cgroup2?$/ { print $2 " " $3 " " $4 }' /proc/self/mounts)
umount -R /sys/fs/cgroup
# A cgroup2-only machine has its one hierarchy right there.
grep -q '^/sys/fs/cgroup ' <<<"$hierarchies" || mount -t tmpfs -o mode=755 tmpfs /sys/fs/cgroup
while read -r point type options; do
  mkdir -p "$point"
  if [ "$type" = cgroup2 ]; then
    mount -t cgroup2 cgroup2 "$point"
  else
    controllers=$(tr ',' '\n' <<<"$options" | grep -Ev '^(rw|ro|relatime|nosuid|nodev|noexec)$' | paste -sd,)
    mount -t cgroup -o "$controllers" cgroup "$point"
  fi
done <<<"$hierarchies"

mkdir -p /run/systemd/system
cat >/run/systemd/system/ondutest.target <<'UNIT'
[Unit]
Description=What the unit test needs: the journal
Requires=systemd-journald.socket
After=systemd-journald.socket
UNIT
export container=ondulofrin-test
exec /lib/systemd/systemd --system --unit=ondutest.target
