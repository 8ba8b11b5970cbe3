#!/bin/sh
# pelnik-capture.exe from the installed 64-bit SDK under Wine, over its
# embedded virtual camera (--virtual): a snapshot saved in every still format
# in every colour mode, and a one-second recording; the files must equal the
# Linux build's for the same frames (compare_capture_files.py). A save into a
# folder that does not exist must fail with the reason in words.
#   test-capture-tool.sh WINDOWS_BUILD_DIR LINUX_BUILD_DIR SOURCE_DIR
set -eu
build=$(cd "$1" && pwd) src=$(cd "$3" && pwd)
prefix=$build/capture-install
work=$build/capture-files
# The Linux tree of the default preset is configured when missing, as
# `make test-windows-gui` does; another tree must exist.
wanted=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
if [ ! -f "$wanted/build.ninja" ] && [ "$wanted" = "$src/build/default" ]; then
  (cd "$src" && cmake --preset default >/dev/null)
fi
linux=$(cd "$2" && pwd)
[ -f "$linux/build.ninja" ] || { echo "capture: no Linux build in $linux" >&2; exit 1; }
cmake --build "$linux" --target pelnik-capture >/dev/null
rm -rf "$prefix" "$work"
mkdir -p "$work/windows" "$work/linux/config"
cmake --install "$build" --prefix "$prefix" >/dev/null
for f in PelnikSdk_R5M_LX.dll pelnik-capture.exe; do
  [ -f "$prefix/bin/$f" ] || { echo "capture: bin/$f not installed" >&2; exit 1; }
done
modes="8 16 24 32 48 64"
# Each step is checked with "if errorlevel" (Wine's cmd took "a || b" after a
# failed reg delete as a failure of a). The stored settings of earlier tests in this Wine prefix must not change
# the pictures: the store's key is removed first (its name from its one home).
key=$(sed -n 's/.*kRootKey = "\(.*\)";/\1/p' "$src/src/settings/setting_groups.h" | sed 's/\\\\/\\/g')
[ -n "$key" ] || { echo "capture: no settings key in setting_groups.h" >&2; exit 1; }
cd "$work/windows"
cp "$prefix/bin/PelnikSdk_R5M_LX.dll" "$prefix/bin/pelnik-capture.exe" .
{
  printf '%s\n' '@echo off' "reg delete \"HKCU\\$key\" /f >nul 2>&1"
  for c in $modes; do
    printf '%s\n' "pelnik-capture.exe --virtual --quiet --color $c --output still-$c --format all snapshot" \
      'if errorlevel 1 goto failed'
  done
  printf '%s\n' 'pelnik-capture.exe --virtual --quiet --color 8 record movie.avi --seconds 1' \
    'if errorlevel 1 goto failed' \
    'pelnik-capture.exe --virtual --quiet snapshot --save Z:\no-such-folder\picture.png 2>refused.txt' \
    'echo refused with %errorlevel%' 'exit /b 0' ':failed' 'echo capture failed' 'exit /b 1'
} | sed 's/$/\r/' >run-capture.bat
sh "$src/scripts/windows/wine-run.sh" cmd /c run-capture.bat >out.txt 2>&1 || { cat out.txt >&2; exit 1; }
grep -q 'refused with 1' out.txt || { cat out.txt >&2; echo "capture: the refused save did not exit 1" >&2; exit 1; }
grep -q 'cannot write .*picture.png: [A-Za-z]' refused.txt ||
  { cat refused.txt >&2; echo "capture: the refused save gave no reason in words" >&2; exit 1; }
[ "$(head -c 2 still-24/snapshot-1.bmp)" = BM ] || { echo "capture: no BMP snapshot" >&2; exit 1; }

# The Linux build, the same commands, settings from the defaults.
cd "$work/linux"
for c in $modes; do
  XDG_CONFIG_HOME=$work/linux/config "$linux/tools/pelnik-capture" --virtual --quiet --color "$c" \
    --output "still-$c" --format all snapshot >/dev/null
done
XDG_CONFIG_HOME=$work/linux/config "$linux/tools/pelnik-capture" --virtual --quiet --color 8 \
  record movie.avi --seconds 1 >/dev/null
python3 "$src/scripts/windows/compare_capture_files.py" "$work/windows" "$work/linux"
rm -rf "$work"
