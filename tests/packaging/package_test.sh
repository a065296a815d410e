#!/usr/bin/env bash
# Packs this build tree's programs into the Debian package (cpack, no second
# build), then checks the package as a user would meet it: its files and
# control fields, the unpacked programs answering, the manual pages
# rendering without a warning, the units, the firewall profiles and lintian.
#   package_test.sh BUILD_DIR VERSION PACKAGE_VERSION
# (the package's version names the release it was built on: 1.0.1.4~deb13u1)
# Leaves the package in BUILD_DIR/package-test/ for the unit test that
# follows it.
set -euo pipefail

build=$(cd "$1" && pwd)
version=$2
package_version=$3
out=$build/package-test
root=$out/root
failures=0

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

rm -rf "$out"
mkdir -p "$out"
if ! (cd "$build" && cpack -G DEB -B "$out" >"$out/cpack.log" 2>&1); then
  cat "$out/cpack.log" >&2
  echo "FAIL: cpack could not build the package" >&2
  exit 1
fi
deb=$out/ondulofrin_${package_version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || { ls "$out" >&2; echo "FAIL: no $deb" >&2; exit 1; }

# --- what the package holds
expected_files="./etc/default/ondulofrin
./etc/ufw/applications.d/ondulofrin
./usr/bin/OnduLofrin
./usr/bin/ondu-headset
./usr/lib/firewalld/services/ondulofrin.xml
./usr/lib/systemd/system/ondulofrin.service
./usr/lib/systemd/user/ondulofrin.service
./usr/libexec/ondulofrin/ondulofrin-firewall
./usr/share/applications/OnduLofrin.desktop
./usr/share/doc/ondulofrin/README.md
./usr/share/doc/ondulofrin/changelog.gz
./usr/share/doc/ondulofrin/copyright
./usr/share/polkit-1/actions/org.ondu.ondulofrin.firewall.policy
./usr/share/ondulofrin/translations/ondulofrin_en.qm"
for size in 16 22 24 32 48 64 128 256; do
  expected_files+=$'\n'"./usr/share/icons/hicolor/${size}x${size}/apps/OnduLofrin.png"
done
expected_files+=$'\n'"./usr/share/man/man1/OnduLofrin.1.gz"$'\n'"./usr/share/man/man1/ondu-headset.1.gz"
actual_files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort)
if [ "$actual_files" != "$(sort <<<"$expected_files")" ]; then
  fail "the package's files differ from the expected ones:"
  diff <(sort <<<"$expected_files") - <<<"$actual_files" >&2 || true
fi

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = ondulofrin ] || fail "Package is $(field Package)"
[ "$(field Version)" = "$package_version" ] || fail "Version is $(field Version), not $package_version"
depends=$(field Depends)
for library in libavformat libavcodec libavutil libswscale libcurl4 libqt6widgets6; do
  grep -q "$library" <<<"$depends" || fail "Depends lacks $library: $depends"
done
# The ffmpeg tool makes the tests' media; the programs need only the libraries.
grep -Eq '(^|, )ffmpeg( |,|$)' <<<"$depends" && fail "Depends names the ffmpeg tool: $depends"
conffiles=$(dpkg-deb -I "$deb" conffiles)
for conffile in /etc/default/ondulofrin /etc/ufw/applications.d/ondulofrin; do
  grep -qx "$conffile" <<<"$conffiles" || fail "$conffile is not a conffile"
done

# --- the unpacked programs
dpkg-deb -x "$deb" "$root"
for program in OnduLofrin ondu-headset; do
  binary=$root/usr/bin/$program
  readelf -n "$binary" | grep -q 'Build ID' || fail "$program has no build id"
  sections=$(readelf -SW "$binary")
  grep -Eq '\.symtab|\.debug_|\.comment' <<<"$sections" && fail "$program is not stripped"
done

expect_output() {
  local pattern=$1
  shift
  local output status=0
  output=$(env -u DISPLAY -u WAYLAND_DISPLAY "$@" 2>&1) || status=$?
  if [ "$status" -ne 0 ]; then
    fail "$* exited $status: $output"
  elif ! grep -q -- "$pattern" <<<"$output"; then
    fail "$* printed no \"$pattern\": $output"
  fi
}
expect_output "OnduLofrin $version" "$root/usr/bin/OnduLofrin" --version
expect_output "ondu-headset $version" "$root/usr/bin/ondu-headset" --version
expect_output "usage: ondu-headset" "$root/usr/bin/ondu-headset" --help
# --help is answered before any window exists, so no display is needed.
expect_output "--serve" env QT_QPA_PLATFORM= timeout 20 "$root/usr/bin/OnduLofrin" --help
# Started from the menu, the program keeps its files in the state folder.
grep -qx 'Exec=OnduLofrin --xdg-state %F' "$root/usr/share/applications/OnduLofrin.desktop" ||
  fail "the desktop entry does not start OnduLofrin --xdg-state"

# --- the manual pages
for page in "$root"/usr/share/man/man1/*.1.gz; do
  warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man -l $(basename "$page") warns: $warnings"
  MANWIDTH=80 man -l "$page" 2>/dev/null | grep -q '^EXIT STATUS' ||
    fail "$(basename "$page") renders no EXIT STATUS section"
done

# --- the units and the firewall profiles
# systemd-analyze checks that ExecStart's program exists, so each unit is
# verified as a copy that starts the unpacked one.
verify_unit() {
  local manager=$1 unit=$2 copy output
  grep -qx 'ExecStart=/usr/bin/OnduLofrin --serve .*' "$root/$unit" ||
    fail "$unit does not start /usr/bin/OnduLofrin --serve"
  copy=$out/verify-$manager/$(basename "$unit")
  mkdir -p "$(dirname "$copy")" "$out/runtime"
  sed "s|=/usr/bin/OnduLofrin|=$root/usr/bin/OnduLofrin|" "$root/$unit" >"$copy"
  if ! output=$(XDG_RUNTIME_DIR=$out/runtime systemd-analyze verify "--$manager" --man=no \
                  --generators=no "$copy" 2>&1) || [ -n "$output" ]; then
    fail "systemd-analyze verify --$manager $unit: $output"
  fi
}
verify_unit system usr/lib/systemd/system/ondulofrin.service
verify_unit user usr/lib/systemd/user/ondulofrin.service

python3 - "$root" <<'PY' || fail "the firewall profiles do not open 23107/tcp"
import configparser, sys, xml.etree.ElementTree as tree
root = sys.argv[1]
ufw = configparser.ConfigParser(interpolation=None)
ufw.read(root + "/etc/ufw/applications.d/ondulofrin")
assert ufw["OnduLofrin"]["ports"] == "23107/tcp", ufw["OnduLofrin"]["ports"]
assert ufw["OnduLofrin-announcement"]["ports"] == "12450/udp"
for section in ufw.sections():
    assert ufw[section]["title"] and ufw[section]["description"], section
service = tree.parse(root + "/usr/lib/firewalld/services/ondulofrin.xml").getroot()
assert service.tag == "service" and service.findtext("short") == "OnduLofrin"
assert [p.attrib for p in service.findall("port")] == [{"protocol": "tcp", "port": "23107"}]
# pkexec runs the window's helper under the package's own action.
policy = tree.parse(root + "/usr/share/polkit-1/actions/org.ondu.ondulofrin.firewall.policy")
helper = policy.find("action/annotate[@key='org.freedesktop.policykit.exec.path']").text
assert helper == "/usr/libexec/ondulofrin/ondulofrin-firewall", helper
PY

# --- lintian: neither errors nor warnings
if command -v lintian >/dev/null 2>&1; then
  if ! lintian_output=$(lintian --fail-on error,warning "$deb" 2>&1); then
    fail "lintian: $lintian_output"
  fi
else
  echo "NOTE: lintian is not installed (make deps installs it)"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "package $(basename "$deb"): every check passed"
