#!/bin/sh
# pelnik-virtcam as a program: serves the cameras asked for, obeys ctl from
# another process, and removes its sockets when stopped by a signal.
set -eu
build="$1"
virtcam="$build/pelnik-virtcam"
XDG_RUNTIME_DIR=$(mktemp -d)
export XDG_RUNTIME_DIR
dir="$XDG_RUNTIME_DIR/pelnik"
pid=""
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  rm -rf "$XDG_RUNTIME_DIR"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

help=$("$virtcam" --help)
for option in --cameras --scene --noise --trigger-period --max-fps; do
  printf '%s\n' "$help" | grep -q -- "$option" || fail "--help does not list $option"
done
"$virtcam" --cameras 0,40 2>/dev/null && fail "camera 40 accepted"

"$virtcam" --cameras 0,2 >/dev/null &
pid=$!
i=0
until [ -S "$dir/pelnik-virtcam.control" ]; do
  i=$((i + 1)); [ $i -lt 100 ] || fail "no control socket after 5 s"; sleep 0.05
done
[ -S "$dir/PNikR5MLX-0" ] || fail "camera 0 not served"
[ -S "$dir/PNikR5MLX-2" ] || fail "camera 2 not served"
[ ! -e "$dir/PNikR5MLX-1" ] || fail "camera 1 served"

"$virtcam" ctl unplug 2 || fail "ctl unplug 2"
[ ! -e "$dir/PNikR5MLX-2" ] || fail "socket of unplugged camera 2 remains"
"$virtcam" ctl plug 2 || fail "ctl plug 2"
[ -S "$dir/PNikR5MLX-2" ] || fail "camera 2 not back after plug"
if msg=$("$virtcam" ctl stall 1 2>&1); then fail "ctl stall 1 succeeded"; fi
case "$msg" in *"not served"*) ;; *) fail "unhelpful message: $msg" ;; esac

kill -INT "$pid"
wait "$pid" || fail "exit status $? after SIGINT"
pid=""
[ ! -e "$dir/PNikR5MLX-0" ] || fail "socket left after exit"
[ ! -e "$dir/pelnik-virtcam.control" ] || fail "control socket left after exit"
if msg=$("$virtcam" ctl heal 0 2>&1); then fail "ctl without an instance succeeded"; fi
case "$msg" in *"no virtual camera"*) ;; *) fail "unhelpful message: $msg" ;; esac
echo "standalone virtual camera behaves"
