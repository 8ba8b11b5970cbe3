#!/bin/sh
# Fails when the shared library exports anything but the C interface.
set -eu
lib="$1"
symbols=$(nm -D --defined-only "$lib" | awk '$2 ~ /^[A-Za-z]$/ && $2 != "U" { print $3 }')
count=$(printf '%s\n' "$symbols" | grep -c '^Pelnik' || true)
bad=$(printf '%s\n' "$symbols" | grep -v -E '^(Pelnik_|PelnikMsg_)' | grep -v '^$' || true)
if [ -n "$bad" ]; then
  echo "unexpected exported symbols:"
  printf '%s\n' "$bad"
  exit 1
fi
echo "$count exported Pelnik symbols, nothing else"
[ "$count" -gt 0 ]
