#!/bin/sh
# Installs the 64-bit Windows tree into a folder, builds the C example
# against it with MinGW (import library and public header only) and runs it
# under Wine against pelnik-virtcam.exe; the saved picture must be a BMP.
#   test-installed-example.sh BUILD_DIR SOURCE_DIR
set -eu
build=$(cd "$1" && pwd) src=$(cd "$2" && pwd)
prefix=$build/example-install
rm -rf "$prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/PelnikSdk_R5M_LX.dll bin/pelnik-virtcam.exe include/PelnikSdk_R5M_LX.h \
         lib/libPelnikSdk_R5M_LX.dll.a lib/PelnikSdk_R5M_LX.lib; do
  [ -f "$prefix/$f" ] || { echo "example: $f not installed" >&2; exit 1; }
done
[ ! -f "$prefix/include/PelnikMessages.h" ] || { echo "example: Linux-only header installed" >&2; exit 1; }
cd "$prefix/bin"
x86_64-w64-mingw32-gcc-posix -std=c11 -Wall -Wextra -Werror -I"$prefix/include" \
  -o snapshot.exe "$src/examples/windows/snapshot.c" "$prefix/lib/libPelnikSdk_R5M_LX.dll.a"
run="sh $src/scripts/windows/wine-run.sh"
$run cmd /c "start /b pelnik-virtcam.exe --cameras 0 & snapshot.exe picture.bmp & taskkill /f /im pelnik-virtcam.exe >nul" \
  >"$prefix/out.txt" 2>&1 || { cat "$prefix/out.txt" >&2; exit 1; }
cat "$prefix/out.txt"
grep -q 'picture saved as picture.bmp' "$prefix/out.txt" || { echo "example: no picture saved" >&2; exit 1; }
[ "$(head -c 2 picture.bmp)" = BM ] || { echo "example: picture.bmp is not a BMP file" >&2; exit 1; }
