#!/bin/sh
# The SDK's main job: a short live capture from a virtual camera, or, in a
# build without the capture tool, a handle opened and its version printed.
set -eu
build="$1"
if [ -x "$build/tools/pelnik-capture" ]; then
  exec "$build/tools/pelnik-capture" --demo --output "$build/demo-output"
fi
exec "$build/tools/pelnik-hello"
