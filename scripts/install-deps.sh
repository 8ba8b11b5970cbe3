#!/bin/sh
# Installs the Debian packages the build, the tests and the benchmarks need.
# Idempotent: does nothing when every package is present, refreshes the
# package lists only when something must be installed.
set -eu

PACKAGES="build-essential cmake ninja-build pkg-config git
  libgtest-dev libgmock-dev libbenchmark-dev
  libjpeg62-turbo-dev libpng-dev zlib1g-dev libtiff-dev
  libx11-dev libxext-dev libfltk1.3-dev fonts-noto-cjk
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev
  gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-good
  python3 python3-pil python3-opencv python3-numpy python3-pytest
  python3-venv python3-pip python3-setuptools python3-wheel
  xvfb xdotool x11-utils ffmpeg dpkg-dev file
  libtiff-tools pngcheck clang clang-format libclang-rt-14-dev"
if [ "${1:-}" = "--bench" ]; then
  PACKAGES="$PACKAGES libopencv-dev"
fi

missing=""
for p in $PACKAGES; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  case "$status" in
    *"install ok installed"*) ;;
    *) missing="$missing $p" ;;
  esac
done
[ -z "$missing" ] && exit 0

echo "Installing:$missing"
if [ "$(id -u)" -eq 0 ]; then
  SUDO=""
elif command -v sudo >/dev/null 2>&1; then
  SUDO="sudo"
else
  echo "install-deps: need root or sudo to install:$missing" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
# shellcheck disable=SC2086
$SUDO apt-get install -y -qq --no-install-recommends $missing
