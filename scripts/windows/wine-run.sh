#!/bin/sh
# Runs one cross-built program under Wine in a free test lane: the emulator
# of the 64-bit test tree, so each test program is one Wine process. A lane
# is taken by creating its lock directory (atomic) and given back on exit.
#   wine-run.sh PROGRAM [ARGUMENTS...]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
wine_dir=${PELNIK_WINE_DIR:-$(cd "$here/../.." && pwd)/build/windows-x64/wine}
export WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="
[ -d "$wine_dir/lane-1" ] || { echo "wine-run: no lanes in $wine_dir (make test-windows prepares them)" >&2; exit 1; }
lock=""
tries=0
while [ -z "$lock" ]; do
  for lane in "$wine_dir"/lane-*; do
    n=${lane##*-}
    if mkdir "$wine_dir/lock-$n" 2>/dev/null; then
      lock=$wine_dir/lock-$n
      export WINEPREFIX=$lane
      break
    fi
  done
  if [ -z "$lock" ]; then
    tries=$((tries + 1))
    [ "$tries" -lt 600 ] || { echo "wine-run: no free lane after 300 s" >&2; exit 1; }
    sleep 0.5
  fi
done
trap 'rmdir "$lock"' EXIT INT TERM
status=0
wine "$@" || status=$?
exit "$status"
