#!/bin/sh
# Cross-builds the still-image libraries (and, for x86_64, GoogleTest) as
# static MinGW libraries into build/windows-deps/ARCH, from Debian's source
# packages. A stamp naming this script's hash and the source versions makes a
# second run cost nothing.
#   scripts/windows/build-deps.sh x86_64|i686
set -eu
arch=${1:?usage: build-deps.sh x86_64|i686}
case "$arch" in
  x86_64|i686) ;;
  *) echo "build-deps: unknown architecture '$arch'" >&2; exit 2 ;;
esac
root=$(cd "$(dirname "$0")/../.." && pwd)
top=$root/build/windows-deps
prefix=$top/$arch
srcdir=$top/src
toolchain=$root/cmake/toolchains/mingw-$arch.cmake
jobs=${JOBS:-$(nproc)}
# libjpeg-turbo's SIMD code needs nasm; PELNIK_JPEG_SIMD=OFF builds without.
jpeg_simd=${PELNIK_JPEG_SIMD:-ON}

packages="libjpeg-turbo libpng1.6 tiff"
versions=""
for p in $packages; do
  v=$(apt-cache showsrc "$p" 2>/dev/null | sed -n 's/^Version: //p' | head -n 1)
  [ -n "$v" ] || { echo "build-deps: no source package $p (is the deb-src entry there? sh scripts/install-deps.sh windows)" >&2; exit 1; }
  versions="$versions $p=$v"
done
gtest_version=$(dpkg-query -W -f='${Version}' googletest 2>/dev/null || true)
[ -n "$gtest_version" ] || { echo "build-deps: package googletest is missing" >&2; exit 1; }
stamp_text="$(sha256sum "$0" "$toolchain" "$root/cmake/toolchains/mingw-common.cmake" | cut -d' ' -f1 | tr '\n' ' ')$versions googletest=$gtest_version simd=$jpeg_simd"
stamp=$prefix/.stamp
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$stamp_text" ]; then
  exit 0
fi

start=$(date +%s)
rm -rf "$prefix" "$top/build-$arch"
mkdir -p "$prefix/lib" "$prefix/include" "$srcdir"

# One extracted copy of each source package, shared by both architectures.
source_dir() {
  d=$(find "$srcdir" -maxdepth 1 -type d -name "$1-*" | head -n 1)
  if [ -z "$d" ]; then
    (cd "$srcdir" && apt-get source -qq "$2" >/dev/null 2>&1) ||
      { echo "build-deps: apt-get source $2 failed" >&2; exit 1; }
    d=$(find "$srcdir" -maxdepth 1 -type d -name "$1-*" | head -n 1)
  fi
  echo "$d"
}

configure() {
  name=$1; src=$2; shift 2
  cmake -S "$src" -B "$top/build-$arch/$name" -G Ninja --toolchain "$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_C_COMPILER_LAUNCHER= -DCMAKE_CXX_COMPILER_LAUNCHER= \
    -DPELNIK_WINDOWS_DEPS_DIR="$prefix" "$@" >/dev/null
}

# zlib is Debian's MinGW package; the libraries below link it from there.
zlib=/usr/$arch-w64-mingw32/lib/libz.a
[ -f "$zlib" ] || { echo "build-deps: $zlib missing (libz-mingw-w64-dev)" >&2; exit 1; }

jpeg_src=$(source_dir libjpeg-turbo libjpeg-turbo)
configure jpeg "$jpeg_src" -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF \
  -DWITH_SIMD="$jpeg_simd" -DWITH_JAVA=OFF
cmake --build "$top/build-$arch/jpeg" -j "$jobs" --target jpeg-static >/dev/null
cp "$top/build-$arch/jpeg/libjpeg.a" "$prefix/lib/"
cp "$jpeg_src/jpeglib.h" "$jpeg_src/jmorecfg.h" "$jpeg_src/jerror.h" \
   "$top/build-$arch/jpeg/jconfig.h" "$prefix/include/"

png_src=$(source_dir libpng1.6 libpng1.6)
configure png "$png_src" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF \
  -DPNG_EXECUTABLES=OFF -DSKIP_INSTALL_PROGRAMS=ON -DSKIP_INSTALL_FILES=ON \
  -DZLIB_LIBRARY="$zlib" -DZLIB_INCLUDE_DIR=/usr/$arch-w64-mingw32/include
cmake --build "$top/build-$arch/png" -j "$jobs" --target png_static >/dev/null
cp "$top/build-$arch/png/libpng16.a" "$prefix/lib/libpng16.a"
cp "$prefix/lib/libpng16.a" "$prefix/lib/libpng.a"
cp "$png_src/png.h" "$png_src/pngconf.h" "$top/build-$arch/png/pnglibconf.h" "$prefix/include/"

tiff_src=$(source_dir tiff tiff)
configure tiff "$tiff_src" -DBUILD_SHARED_LIBS=OFF -Dtiff-tools=OFF -Dtiff-tests=OFF \
  -Dtiff-contrib=OFF -Dtiff-docs=OFF -Dcxx=OFF -Djpeg=OFF -Dold-jpeg=OFF -Djbig=OFF \
  -Dlerc=OFF -Dlzma=OFF -Dzstd=OFF -Dwebp=OFF -Dlibdeflate=OFF -Dpixarlog=OFF -Dzlib=ON \
  -DZLIB_LIBRARY="$zlib" -DZLIB_INCLUDE_DIR=/usr/$arch-w64-mingw32/include
cmake --build "$top/build-$arch/tiff" -j "$jobs" --target tiff >/dev/null
cp "$top/build-$arch/tiff/libtiff/libtiff.a" "$prefix/lib/"
cp "$tiff_src/libtiff/tiff.h" "$tiff_src/libtiff/tiffio.h" "$tiff_src/libtiff/tiffvers.h" \
   "$top/build-$arch/tiff/libtiff/tiffconf.h" "$prefix/include/"

# Only the 64-bit tree builds tests.
if [ "$arch" = x86_64 ]; then
  configure gtest /usr/src/googletest -DBUILD_GMOCK=ON -Dgtest_disable_pthreads=OFF
  cmake --build "$top/build-$arch/gtest" -j "$jobs" >/dev/null
  cmake --install "$top/build-$arch/gtest" >/dev/null
fi

rm -rf "$top/build-$arch"
echo "$stamp_text" >"$stamp"
echo "windows-deps $arch: $(( $(date +%s) - start )) s"
