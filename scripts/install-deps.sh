#!/usr/bin/env bash
# Installs the packages the project needs to build, test and run, by the names
# of the release it runs on: Debian 12 and 13 (and, untried, Ubuntu 24.04).
# Does nothing when every package is already present.
#   scripts/install-deps.sh          install what is missing (sudo when not root)
#   scripts/install-deps.sh --check  list what is missing, install nothing;
#                                    exits 1 when something is missing
#   scripts/install-deps.sh --check-build
#                                    the same for the packages the build needs
#   scripts/install-deps.sh --on-debian
#                                    install what scripts/on-debian needs
#   scripts/install-deps.sh --clang-version
#                                    print the version of the clang this
#                                    release ships (make fuzz builds with it)
set -euo pipefail

# What cmake needs to configure and build everything.
BUILD_PACKAGES=(
  build-essential cmake pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libavfilter-dev
  qt6-base-dev qt6-l10n-tools
  libcurl4-openssl-dev
  scdoc
)
# What the tests, the window, the benchmarks, the fuzzers and the package's
# checks need besides.
RUN_PACKAGES=(
  ffmpeg
  qt6-qpa-plugins
  fonts-wqy-zenhei
  iproute2 util-linux python3 procps
  dpkg-dev man-db lintian systemd
  ufw
)
# The host's side of scripts/on-debian: a clean system of another release.
ON_DEBIAN_PACKAGES=(debootstrap debian-archive-keyring)

mode=install
case "${1:-}" in
  "") ;;
  --check) mode=check ;;
  --check-build) mode=check-build ;;
  --on-debian) mode=on-debian ;;
  --clang-version) mode=clang-version ;;
  *)
    echo "usage: scripts/install-deps.sh [--check | --check-build | --on-debian | --clang-version]" >&2
    exit 2
    ;;
esac

# The clang the release's own `clang` package stands for (14 on Debian 12, 19
# on Debian 13, 18 on Ubuntu 24.04), named by its version, as its runtime
# libraries (libFuzzer, the sanitizers) are only named so: libclang-rt-N-dev.
# Without apt's lists, the newest clang installed.
clang_version() {
  local version
  version=$(apt-cache depends clang 2>/dev/null | sed -n 's/^ *Depends: clang-\([0-9][0-9]*\)$/\1/p' | head -n 1)
  if [ -z "$version" ]; then
    version=$(dpkg-query -W -f='${Package} ${Status}\n' 'clang-[0-9]*' 2>/dev/null |
      sed -n 's/^clang-\([0-9][0-9]*\) install ok installed$/\1/p' | sort -n | tail -n 1)
  fi
  echo "$version"
}

# Only installing needs root: everything else builds and tests as any user.
as_root=()
can_install=1
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then as_root=(sudo); else can_install=0; fi
fi
lists_updated=0
update_lists() {
  [ "$lists_updated" -eq 1 ] && return 0
  "${as_root[@]}" apt-get update
  lists_updated=1
}

# Without dpkg this is not a system the lists are for; cmake will say what
# it misses.
if ! command -v dpkg-query >/dev/null 2>&1; then
  if [ "$mode" != check ] && [ "$mode" != check-build ]; then
    echo "dpkg-query not found: install the packages README.md names by hand" >&2
    exit 1
  fi
  exit 0
fi

case "$mode" in
  on-debian) packages=("${ON_DEBIAN_PACKAGES[@]}") ;;
  check-build) packages=("${BUILD_PACKAGES[@]}") ;;
  *) packages=("${BUILD_PACKAGES[@]}" "${RUN_PACKAGES[@]}") ;;
esac

if [ "$mode" = clang-version ] || [ "$mode" = install ] || [ "$mode" = check ]; then
  version=$(clang_version)
  # apt knows nothing yet (a system whose lists were never fetched).
  if [ -z "$version" ] && [ "$mode" = install ] && [ "$can_install" -eq 1 ]; then
    update_lists
    version=$(clang_version)
  fi
  if [ -z "$version" ]; then
    echo "apt knows no clang package here: run 'apt-get update', then this again" >&2
    exit 1
  fi
  if [ "$mode" = clang-version ]; then
    echo "$version"
    exit 0
  fi
  packages+=("clang-$version" "libclang-rt-$version-dev")
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done

if [ "${#missing[@]}" -eq 0 ]; then
  exit 0
fi

if [ "$mode" = check ] || [ "$mode" = check-build ]; then
  echo "Missing packages: ${missing[*]}" >&2
  echo "Run 'make deps' to install them (make run and make test install them too)." >&2
  exit 1
fi

if [ "$can_install" -eq 0 ]; then
  echo "Missing packages: ${missing[*]}" >&2
  echo "Install them as root (apt-get install ${missing[*]}), or install sudo, then run this again." >&2
  exit 1
fi

echo "Installing: ${missing[*]}"
update_lists
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
