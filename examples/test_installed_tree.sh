#!/bin/sh
# Installs this build into a temporary prefix and builds the examples
# against it, through find_package(PelnikSdk) and through pkg-config, then
# runs both builds against a virtual camera.
set -eu
build="$1"
source="$2"
work=$(mktemp -d)
XDG_RUNTIME_DIR="$work/run"
XDG_CONFIG_HOME="$work/config"
export XDG_RUNTIME_DIR XDG_CONFIG_HOME
mkdir -m 700 "$XDG_RUNTIME_DIR"
pid=""
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null || fail "cmake --install"
libdir=$(ls -d "$prefix"/lib*/pkgconfig | head -n 1)
libdir=${libdir%/pkgconfig}

cmake -S "$source/examples" -B "$work/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null \
  || fail "configure with find_package"
cmake --build "$work/cmake" >/dev/null || fail "build with find_package"

mkdir "$work/pc"
export PKG_CONFIG_PATH="$libdir/pkgconfig"
# shellcheck disable=SC2046
cc -std=c99 -Wall -Werror -o "$work/pc/snapshot" "$source/examples/snapshot.c" \
  $(pkg-config --cflags --libs pelniksdk) || fail "cc with pkg-config"
# shellcheck disable=SC2046
c++ -std=c++17 -Wall -Werror -o "$work/pc/stream" "$source/examples/stream.cpp" \
  $(pkg-config --cflags --libs pelniksdk) || fail "c++ with pkg-config"

# Every build must use the installed library, not the build tree's.
for program in "$work/cmake/snapshot" "$work/cmake/stream"; do
  ldd "$program" | grep -q "$libdir/libPelnikSdk_R5M_LX.so" || fail "$program: $(ldd "$program")"
done

"$build/pelnik-virtcam" --quiet >/dev/null &
pid=$!
i=0
until [ -S "$XDG_RUNTIME_DIR/pelnik/PNikR5MLX-0" ]; do
  i=$((i + 1)); [ $i -lt 200 ] || fail "virtual camera did not start"; sleep 0.05
done

out=$("$work/cmake/snapshot") || fail "snapshot (find_package)"
case "$out" in "1280 x 1024, mean "*) ;; *) fail "snapshot printed: $out" ;; esac
out=$(LD_LIBRARY_PATH="$libdir" "$work/pc/snapshot") || fail "snapshot (pkg-config)"
case "$out" in "1280 x 1024, mean "*) ;; *) fail "snapshot printed: $out" ;; esac
"$work/cmake/stream" 0 10 >/dev/null || fail "stream (find_package)"
LD_LIBRARY_PATH="$libdir" "$work/pc/stream" 0 10 >/dev/null || fail "stream (pkg-config)"
if "$work/cmake/snapshot" 3 2>/dev/null; then fail "absent camera 3 gave a picture"; fi
echo "examples build and run against the installed tree"
