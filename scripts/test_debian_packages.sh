#!/bin/sh
# cpack -G DEB on this build: the five packages, their dependencies as
# dpkg-shlibdeps found them, their contents, and the extracted Python
# package and GStreamer plugin working from the unpacked tree.
set -eu
build="$1"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) \
  || fail "cpack: $(cat "$work/cpack.log")"
deb() { ls "$work/out/$1"_*.deb 2>/dev/null | head -n 1; }
depends() { dpkg-deb -f "$(deb "$1")" Depends; }
has_dep() { depends "$1" | tr ',' '\n' | grep -q "^ *$2\( \|$\)" || fail "$1 does not depend on $2: $(depends "$1")"; }
has_file() {
  listing=$(dpkg-deb -c "$(deb "$1")")
  printf '%s\n' "$listing" | grep -q "$2" || fail "$1 lacks $2"
}

for p in libpelniksdk1 libpelniksdk-dev pelniksdk-tools python3-pelnik gstreamer1.0-pelnik; do
  [ -n "$(deb $p)" ] || fail "no package $p"
done
has_dep libpelniksdk1 libc6
has_dep libpelniksdk1 libjpeg62-turbo
has_dep libpelniksdk1 libpng16-16
has_dep libpelniksdk1 libtiff6
depends libpelniksdk1 | tr ',' '\n' | grep -q '^ *libx11-6 (>= 2:1\.8)' \
  || fail "libpelniksdk1 does not require libx11-6 1.8: $(depends libpelniksdk1)"
has_dep libpelniksdk-dev libpelniksdk1
has_dep pelniksdk-tools libpelniksdk1
has_dep python3-pelnik python3-numpy
has_dep python3-pelnik libpelniksdk1
has_dep gstreamer1.0-pelnik libgstreamer1.0-0
has_dep gstreamer1.0-pelnik libpelniksdk1
has_file libpelniksdk1 'libPelnikSdk_R5M_LX\.so\.1 -> '
has_file libpelniksdk-dev 'include/PelnikSdk_R5M_LX\.h$'
has_file libpelniksdk-dev 'pkgconfig/pelniksdk\.pc$'
has_file libpelniksdk-dev 'cmake/PelnikSdk/PelnikSdkConfig\.cmake$'
has_file pelniksdk-tools 'bin/pelnik-capture$'
has_file pelniksdk-tools 'man1/pelnik-capture\.1'
has_file pelniksdk-tools 'man1/pelnik-virtcam\.1'
has_file python3-pelnik 'dist-packages/pelnik/camera\.py$'
has_file gstreamer1.0-pelnik 'gstreamer-1.0/libgstpelnik\.so$'
dpkg-deb -I "$(deb libpelniksdk1)" | grep -q 'triggers' || fail "runtime package has no ldconfig trigger"

# Unpacked side by side, the Python package finds the library by itself.
root="$work/root"
for f in "$work"/out/*.deb; do dpkg-deb -x "$f" "$root"; done
pydir=$(dirname "$(find "$root" -path '*dist-packages/pelnik/__init__.py')")
env -u PELNIK_LIBRARY PYTHONPATH="$(dirname "$pydir")" /usr/bin/python3 -c '
import pelnik, sys
assert pelnik.version() == 28181791
assert pelnik.library().path.startswith(sys.argv[1]), pelnik.library().path
' "$root" || fail "the unpacked pelnik package did not load the unpacked library"

plugin=$(dirname "$(find "$root" -name libgstpelnik.so)")
libdir=$(dirname "$(find "$root" -name 'libPelnikSdk_R5M_LX.so.1')")
GST_REGISTRY="$work/registry.bin" GST_PLUGIN_PATH="$plugin" LD_LIBRARY_PATH="$libdir" \
  gst-inspect-1.0 pelniksrc >/dev/null || fail "gst-inspect-1.0 does not find the unpacked plugin"
man -l "$(find "$root" -name pelnik-capture.1)" >/dev/null 2>&1 || fail "man page does not format"
echo "Debian packages are complete"
