#!/bin/sh
# The arm64 development packages come through multiarch: Debian's arm64
# architecture beside the native one. Idempotent.
set -eu
if ! dpkg --print-foreign-architectures | grep -qx arm64; then
  dpkg --add-architecture arm64
  apt-get update -qq
fi
