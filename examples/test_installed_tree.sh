#!/bin/sh
# Installs this build into a temporary prefix and builds the examples
# against it, through find_package(PelnikSdk) and through pkg-config, then
# runs both builds against a virtual camera. Everything installed runs
# without LD_LIBRARY_PATH: the tools, the pkg-config build, the GStreamer
# plugin on its first load (a fresh registry) and the Python package, with
# the environment the installed env.sh sets.
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
out=$("$work/pc/snapshot") || fail "snapshot (pkg-config)"
case "$out" in "1280 x 1024, mean "*) ;; *) fail "snapshot printed: $out" ;; esac
"$work/cmake/stream" 0 10 >/dev/null || fail "stream (find_package)"
"$work/pc/stream" 0 10 >/dev/null || fail "stream (pkg-config)"
if "$work/cmake/snapshot" 3 2>/dev/null; then fail "absent camera 3 gave a picture"; fi

# The header-only companions of the public header compile on their own.
for header in PelnikErrors.h PelnikTiming.h; do
  printf '#include <%s>\nint main(void) { return 0; }\n' "$header" >"$work/h.c"
  cc -std=c99 -Wall -Werror -I"$prefix/include" -c "$work/h.c" -o "$work/h.o" || fail "$header"
done
out=$(printf '#include <PelnikErrors.h>\n#include <stdio.h>\nint main(void) { char t[128]; puts(PelnikErrorDescribe(2, t, sizeof t)); return 0; }\n' |
  cc -std=c99 -Wall -Werror -I"$prefix/include" -x c - -o "$work/words" && "$work/words") || fail "PelnikErrorDescribe"
[ "$out" = "the camera is not connected or another process is using it (error 2)" ] || fail "words: $out"

# The installed tools, plugin and Python package, through env.sh only.
[ -f "$prefix/share/pelnik/env.sh" ] || fail "no env.sh installed"
unset LD_LIBRARY_PATH PKG_CONFIG_PATH
# shellcheck disable=SC1091
. "$prefix/share/pelnik/env.sh"
[ "$(command -v pelnik-capture)" = "$prefix/bin/pelnik-capture" ] || fail "PATH: $(command -v pelnik-capture)"
pkg-config --exists pelniksdk || fail "PKG_CONFIG_PATH from env.sh"
for tool in pelnik-capture pelnik-virtcam pelnik-viewer; do
  ldd "$prefix/bin/$tool" | grep -q "not found" && fail "$tool: $(ldd "$prefix/bin/$tool")"
  [ "$tool" = pelnik-virtcam ] && continue  # the camera in software does not use the SDK
  used=$(ldd "$prefix/bin/$tool" | sed -n 's/.*libPelnikSdk_R5M_LX.so.* => \(.*\) (.*/\1/p')
  [ "$(readlink -f "$used")" = "$(readlink -f "$libdir/libPelnikSdk_R5M_LX.so.1")" ] \
    || fail "$tool uses $used, not the prefix's library"
done
out=$(pelnik-capture list) || fail "installed pelnik-capture list: $out"
case "$out" in *"PelnikR5M-LX_01"*) ;; *) fail "installed pelnik-capture list printed: $out" ;; esac
man -w pelnik-capture | grep -q "^$prefix/" || fail "MANPATH: $(man -w pelnik-capture 2>&1)"
# A registry that has never seen the plugin: it must load the first time.
GST_REGISTRY="$work/registry.bin" gst-inspect-1.0 pelniksrc >"$work/inspect.txt" 2>&1 \
  || fail "plugin did not load: $(cat "$work/inspect.txt")"
grep -q "Version.*1\." "$work/inspect.txt" || fail "plugin version: $(grep Version "$work/inspect.txt")"
GST_REGISTRY="$work/registry.bin" gst-launch-1.0 -q pelniksrc num-buffers=2 ! fakesink \
  || fail "installed plugin did not stream"
where=$(cd "$work" && /usr/bin/python3 -c 'import pelnik; print(pelnik.cameras()[0].name, pelnik.__file__)') \
  || fail "installed Python package"
case "$where" in "PelnikR5M-LX_01 $prefix/"*) ;; *) fail "python imported: $where" ;; esac
echo "examples build and run against the installed tree"
