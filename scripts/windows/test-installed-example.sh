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
# The virtual camera and the example in one Wine process tree (one prefix);
# the example is retried while the camera's pipe does not exist yet, each
# try checked with "if errorlevel" (Wine's cmd mistook "a && goto b").
printf '%s\r\n' '@echo off' 'start /b pelnik-virtcam.exe --cameras 0' 'set n=0' ':again' \
  'snapshot.exe picture.bmp' 'if not errorlevel 1 goto done' 'set /a n+=1' 'if %n% lss 40 goto again' ':done' \
  'taskkill /f /im pelnik-virtcam.exe >nul' >run-example.bat
sh "$src/scripts/windows/wine-run.sh" cmd /c run-example.bat >"$prefix/out.txt" 2>&1 ||
  { cat "$prefix/out.txt" >&2; exit 1; }
cat "$prefix/out.txt"
grep -q 'picture saved as picture.bmp' "$prefix/out.txt" || { echo "example: no picture saved" >&2; exit 1; }
[ "$(head -c 2 picture.bmp)" = BM ] || { echo "example: picture.bmp is not a BMP file" >&2; exit 1; }
