#!/bin/sh
# The SDK kit a Windows user downloads: one zip per architecture holding the
# installed tree (DLL, tools, headers, both import libraries, the export
# list, the CMake package), the kit's README and the example with its CMake
# build. Unix-only pieces of the install (man pages, the environment script,
# pkg-config files naming the build machine's paths) stay out.
#   make-kit.sh BUILD_DIR ARCH SOURCE_DIR OUT_DIR     ARCH: x64 or x86
# Prints the zip's path.
set -eu
build=$(cd "$1" && pwd) arch=$2 src=$(cd "$3" && pwd)
mkdir -p "$4"
out=$(cd "$4" && pwd)
version=$(sed -n 's/^project(PelnikSdk VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")
[ -n "$version" ] || { echo "make-kit: no version in CMakeLists.txt" >&2; exit 1; }
name=PelnikSdk_R5M_LX-$version-windows-$arch
stage=$out/$name
rm -rf "$stage" "$out/$name.zip"
cmake --install "$build" --prefix "$stage" >/dev/null
rm -rf "$stage/share" "$stage/lib/pkgconfig"
mkdir -p "$stage/examples"
cp "$src/examples/windows/snapshot.c" "$src/examples/windows/CMakeLists.txt" "$stage/examples/"
# Windows line ends, so Notepad shows the text as written.
sed 's/$/\r/' "$src/examples/windows/README.txt" >"$stage/README.txt"
for f in bin/PelnikSdk_R5M_LX.dll bin/pelnik-virtcam.exe bin/pelnik-capture.exe bin/pelnik-viewer.exe \
         include/PelnikSdk_R5M_LX.h lib/PelnikSdk_R5M_LX.lib lib/libPelnikSdk_R5M_LX.dll.a \
         lib/PelnikSdk_R5M_LX.def; do
  [ -f "$stage/$f" ] || { echo "make-kit: $f is missing from the $arch tree" >&2; exit 1; }
done
[ ! -f "$stage/include/PelnikMessages.h" ] || { echo "make-kit: the Linux-only header was installed" >&2; exit 1; }
(cd "$out" && cmake -E tar cf "$name.zip" --format=zip "$name")
rm -rf "$stage"
echo "$out/$name.zip"
