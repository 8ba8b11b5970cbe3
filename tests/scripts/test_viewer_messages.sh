#!/bin/sh
# pelnik-viewer's refusals and its no-camera state, as a user meets them: an
# unknown option is named, an output directory that cannot be used is refused
# at start with the system's reason, and with no camera the viewer stays up
# and says so in words (on a private Xvfb).
set -eu
build="$1"
viewer="$build/tools/pelnik-viewer"
work=$(mktemp -d)
XDG_RUNTIME_DIR="$work/run"
XDG_CONFIG_HOME="$work/config"
export XDG_RUNTIME_DIR XDG_CONFIG_HOME
mkdir -m 700 "$XDG_RUNTIME_DIR"
xvfb=""
pid=""
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }
expect() {  # expect STATUS TEXT ARGS...
  want=$1; text=$2; shift 2
  set +e
  out=$("$viewer" "$@" 2>&1)
  got=$?
  set -e
  [ "$got" = "$want" ] || fail "pelnik-viewer $*: status $got, not $want: $out"
  printf '%s\n' "$out" | grep -qF -- "$text" || fail "pelnik-viewer $*: no '$text' in: $out"
}

expect 2 "unknown option: --colour" --colour 24
expect 2 "--output-dir $work/missing: No such file or directory" --output-dir "$work/missing"
touch "$work/file"
expect 2 "--output-dir $work/file: not a directory" --output-dir "$work/file"
expect 2 "--output-dir needs a directory" --output-dir

command -v Xvfb >/dev/null || fail "Xvfb is not installed"
display=":$(( $$ % 400 + 300 ))"
Xvfb "$display" -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
i=0
until [ -e "/tmp/.X11-unix/X${display#:}" ]; do
  i=$((i + 1)); [ $i -lt 200 ] || fail "Xvfb did not start"; sleep 0.05
done
DISPLAY="$display" "$viewer" --output-dir "$work" >"$work/out" 2>&1 &
pid=$!
i=0
until grep -q "camera" "$work/out"; do
  i=$((i + 1)); [ $i -lt 200 ] || fail "nothing said about the camera: $(cat "$work/out")"; sleep 0.05
done
kill -0 "$pid" || fail "the viewer ended instead of waiting for a camera"
grep -qF "No camera is connected (error 2)" "$work/out" || fail "said: $(cat "$work/out")"
grep -q "error 8" "$work/out" && fail "an acquisition code for an absent camera: $(cat "$work/out")"
echo "ok"
