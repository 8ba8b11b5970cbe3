#!/bin/sh
# pelnik-capture record: a short movie from its own virtual camera, read by
# ffprobe; the summary it prints agrees with what ffprobe counts; a file name
# is required and an unwritable one ends the tool with a failure.
set -eu
build="$1"
capture="$build/tools/pelnik-capture"
work=$(mktemp -d)
export XDG_CONFIG_HOME="$work/config"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

out=$("$capture" record "$work/clip.avi" --virtual --color 8 --window 0,0,640,480 --seconds 1)
printf '%s\n' "$out"
line=$(printf '%s\n' "$out" | grep "^wrote $work/clip.avi: ") || fail "no summary line"
frames=$(printf '%s\n' "$line" | sed 's/.*: \([0-9]*\) frames.*/\1/')
[ "$frames" -ge 2 ] || fail "only $frames frames"
probed=$(ffprobe -v error -count_frames -select_streams v:0 \
  -show_entries stream=nb_read_frames,width,height -of csv=p=0 "$work/clip.avi")
[ "$probed" = "640,480,$frames" ] || fail "ffprobe reads $probed, the tool said $frames frames"
[ ! -e "$work/clip-001.avi" ] || fail "a continuation file for a short recording"

"$capture" record --virtual --seconds 1 2>/dev/null && fail "record without a file name"
"$capture" record /nonexistent-directory/x.avi --virtual --seconds 1 2>/dev/null &&
  fail "an unwritable file succeeded"
echo "ok"
