#!/bin/sh
# The kits as a user gets them: each zip unpacked into a folder of its own;
# the 64-bit example built with MinGW through the kit's own CMake build and
# run in a fresh Wine prefix against the kit's pelnik-virtcam.exe; the
# 32-bit example built and linked (these machines cannot run it).
#   test-kit.sh KIT_DIR
set -eu
kits=$(cd "$1" && pwd)
work=$kits/test
rm -rf "$work"
mkdir -p "$work"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

unpack() {  # zip -> the folder it holds
  mkdir -p "$work/$1"
  (cd "$work/$1" && cmake -E tar xf "$kits/$(cd "$kits" && ls PelnikSdk_R5M_LX-*-windows-"$1".zip)")
  echo "$work/$1/$(ls "$work/$1")"
}

build_example() {  # kit folder, compiler prefix -> the example's build folder
  cmake -S "$1/examples" -B "$1/build" -G Ninja -DCMAKE_SYSTEM_NAME=Windows \
    -DCMAKE_C_COMPILER="$2-gcc-posix" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$1/build" >/dev/null
  [ -f "$1/build/snapshot.exe" ] && [ -f "$1/build/PelnikSdk_R5M_LX.dll" ] ||
    { echo "test-kit: the example of $1 did not build" >&2; exit 1; }
}

x64=$(unpack x64)
build_example "$x64" x86_64-w64-mingw32
x86=$(unpack x86)
build_example "$x86" i686-w64-mingw32

# A fresh prefix, as on a machine that never saw the SDK.
prefix=$work/wine
WINEPREFIX=$prefix wineboot -i >/dev/null 2>&1 || { echo "test-kit: wineboot failed" >&2; exit 1; }
cd "$x64/build"
printf '%s\r\n' '@echo off' 'start /b ..\bin\pelnik-virtcam.exe --cameras 0' 'set n=0' ':again' \
  'snapshot.exe picture.bmp && goto done' 'set /a n+=1' 'if %n% lss 20 goto again' ':done' \
  'taskkill /f /im pelnik-virtcam.exe >nul' >run.bat
status=0
WINEPREFIX=$prefix wine cmd /c run.bat >out.txt 2>&1 || status=$?
WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
cat out.txt
[ "$status" = 0 ] && grep -q 'picture saved as picture.bmp' out.txt ||
  { echo "test-kit: the 64-bit example took no picture" >&2; exit 1; }
[ "$(head -c 2 picture.bmp)" = BM ] || { echo "test-kit: picture.bmp is not a BMP file" >&2; exit 1; }
echo "test-kit: both kits unpack, their examples build, the 64-bit one runs"
