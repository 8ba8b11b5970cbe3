#!/bin/sh
# The pipelines the README shows, run with gst-launch-1.0 against a virtual
# camera: raw frames to fakesink, a JPEG file, and an absent camera.
set -eu
virtcam="$1"
plugin_dir="$2"
XDG_RUNTIME_DIR=$(mktemp -d)
XDG_CONFIG_HOME="$XDG_RUNTIME_DIR/config"
GST_PLUGIN_PATH="$plugin_dir"
GST_REGISTRY="$XDG_RUNTIME_DIR/registry.bin"
export XDG_RUNTIME_DIR XDG_CONFIG_HOME GST_PLUGIN_PATH GST_REGISTRY
pid=""
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  rm -rf "$XDG_RUNTIME_DIR"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

"$virtcam" --quiet >/dev/null &
pid=$!
i=0
until [ -S "$XDG_RUNTIME_DIR/pelnik/PNikR5MLX-0" ]; do
  i=$((i + 1)); [ $i -lt 200 ] || fail "virtual camera did not start"; sleep 0.05
done

out=$(gst-launch-1.0 pelniksrc num-buffers=100 ! videoconvert ! fakesink silent=false -v 2>&1) \
  || fail "fakesink pipeline: $out"
frames=$(printf '%s\n' "$out" | grep -c 'chain   \*\*\*' || true)
[ "$frames" -eq 100 ] || fail "fakesink saw $frames buffers, not 100"

jpeg="$XDG_RUNTIME_DIR/frame.jpg"
gst-launch-1.0 -q pelniksrc num-buffers=1 ! videoconvert ! jpegenc ! filesink location="$jpeg" \
  || fail "jpeg pipeline"
magic=$(od -An -tx1 -N3 "$jpeg" | tr -d ' ')
[ "$magic" = "ffd8ff" ] || fail "not a JPEG file: $magic"
gst-launch-1.0 -q pelniksrc num-buffers=1 window=0,0,640,480 ! videoconvert ! jpegenc ! \
  filesink location="$jpeg" || fail "jpeg pipeline with a window"
size=$(ffprobe -v error -show_entries stream=width,height -of csv=p=0 "$jpeg")
[ "$size" = "640,480" ] || fail "JPEG of the window is $size"

if gst-launch-1.0 -q pelniksrc camera=5 num-buffers=1 ! fakesink >"$XDG_RUNTIME_DIR/err" 2>&1; then
  fail "an absent camera played"
fi
grep -qF "no camera 5 is connected (error 2)" "$XDG_RUNTIME_DIR/err" || fail "no words and code in: $(cat "$XDG_RUNTIME_DIR/err")"
echo "gst-launch pipelines work"
