#!/bin/sh
# The SDK's main job: a short live capture from a virtual camera and a short
# AVI recording. The camera's settings are stored in the user's settings
# store, as any program's are.
set -eu
build="$1"
"$build/tools/pelnik-capture" --demo --output "$build/demo-output"
exec "$build/tools/pelnik-capture" record "$build/demo-output/demo.avi" --virtual \
  --color 24 --seconds 2
