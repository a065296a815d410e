#!/usr/bin/env bash
# Installs the Debian 12 packages the project needs to build, test and run.
# Does nothing when every package is already present.
#   scripts/install-deps.sh          install what is missing (sudo when not root)
#   scripts/install-deps.sh --check  list what is missing, install nothing;
#                                    exits 1 when something is missing
#   scripts/install-deps.sh --check-build
#                                    the same for the packages the build needs
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
  clang-14 libclang-rt-14-dev
  dpkg-dev man-db lintian systemd
)

mode=install
case "${1:-}" in
  "") ;;
  --check) mode=check ;;
  --check-build) mode=check-build ;;
  *)
    echo "usage: scripts/install-deps.sh [--check | --check-build]" >&2
    exit 2
    ;;
esac

packages=("${BUILD_PACKAGES[@]}")
[ "$mode" = check-build ] || packages+=("${RUN_PACKAGES[@]}")

# Without dpkg this is not the Debian the list is for; cmake will say what
# it misses.
if ! command -v dpkg-query >/dev/null 2>&1; then
  if [ "$mode" = install ]; then
    echo "dpkg-query not found: install the packages README.md names by hand" >&2
    exit 1
  fi
  exit 0
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

if [ "$mode" != install ]; then
  echo "Missing packages: ${missing[*]}" >&2
  echo "Run 'make deps' to install them (make run and make test install them too)." >&2
  exit 1
fi

# Only this step needs root: everything else builds and tests as any user.
as_root=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null 2>&1; then
    echo "Missing packages: ${missing[*]}" >&2
    echo "Install them as root (apt-get install ${missing[*]}), or install sudo, then run this again." >&2
    exit 1
  fi
  as_root=(sudo)
fi

echo "Installing: ${missing[*]}"
"${as_root[@]}" apt-get update
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
