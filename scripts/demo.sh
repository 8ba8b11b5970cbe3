#!/bin/sh
# The SDK's main job: a short live capture from a virtual camera and a short
# AVI recording, or, in a build without the capture tool, a handle opened
# and its version printed.
set -eu
build="$1"
if [ -x "$build/tools/pelnik-capture" ]; then
  "$build/tools/pelnik-capture" --demo --output "$build/demo-output"
  exec "$build/tools/pelnik-capture" record "$build/demo-output/demo.avi" --virtual \
    --color 24 --seconds 2
fi
exec "$build/tools/pelnik-hello"
