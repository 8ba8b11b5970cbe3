#!/bin/sh
# Boots one Wine prefix for the 64-bit test tree and copies it once per
# parallel test lane (the registry, the claim mapping and the pipe names are
# shared by every process of a prefix, so lanes must not share one).
#   wine-prefix.sh BUILD_DIR LANES     prepare BUILD_DIR/wine/lane-1..LANES
#   wine-prefix.sh BUILD_DIR stop      end the lanes' wine servers
set -eu
mkdir -p "$1"
build=$(cd "$1" && pwd)  # Wine wants an absolute WINEPREFIX
wine_dir=$build/wine
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
command -v wine >/dev/null || { echo "wine-prefix: wine missing (sh scripts/install-deps.sh windows)" >&2; exit 1; }
if [ "$2" = stop ]; then
  for lane in "$wine_dir"/lane-*; do
    [ -d "$lane" ] && WINEPREFIX=$lane wineserver -k 2>/dev/null || true
  done
  exit 0
fi
lanes=$2
base=$wine_dir/base
if [ ! -f "$base/.booted" ]; then
  start=$(date +%s)
  rm -rf "$base"
  mkdir -p "$wine_dir"
  WINEPREFIX=$base wineboot -i >/dev/null 2>&1 || { echo "wine-prefix: wineboot failed" >&2; exit 1; }
  WINEPREFIX=$base wineserver -w
  [ -f "$base/system.reg" ] || { echo "wine-prefix: no registry after wineboot" >&2; exit 1; }
  touch "$base/.booted"
  rm -rf "$wine_dir"/lane-*
  echo "wine-prefix: booted in $(( $(date +%s) - start )) s"
fi
# Japanese dialogs: the Japanese dialog faces are replaced by Debian's Noto
# Sans CJK (fonts-noto-cjk), so their glyphs render. Stamped, so a prefix
# booted before this step gets it once.
if [ ! -f "$base/.cjk-faces" ]; then
  faces=$wine_dir/cjk-faces.reg
  {
    printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n'
    for face in "MS UI Gothic" "MS Gothic" "MS PGothic" "MS Mincho" "MS PMincho"; do
      printf '"%s"="Noto Sans CJK JP"\r\n' "$face"
    done
  } >"$faces"
  WINEPREFIX=$base wine regedit /S "$faces" >/dev/null 2>&1 || { echo "wine-prefix: font replacement failed" >&2; exit 1; }
  WINEPREFIX=$base wineserver -w
  rm -f "$faces"
  touch "$base/.cjk-faces"
  rm -rf "$wine_dir"/lane-*
fi
i=1
while [ "$i" -le "$lanes" ]; do
  lane=$wine_dir/lane-$i
  # A fresh copy per run, so no test sees another run's registry or files.
  WINEPREFIX=$lane wineserver -k 2>/dev/null || true
  rm -rf "$lane" "$wine_dir/lock-$i"
  # Wine's own DLLs are never written: hard links make the copy instant.
  # The registry files get real copies (wineserver replaces them anyway).
  cp -al "$base" "$lane"
  for reg in "$lane"/*.reg; do
    cp --remove-destination "$base/${reg##*/}" "$reg"
  done
  i=$((i + 1))
done
