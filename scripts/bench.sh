#!/bin/sh
# Runs every benchmark binary and keeps its JSON beside the build.
set -eu
build="$1"
out="$build/bench-results"
mkdir -p "$out"
found=0
for b in "$build"/bench/bench_*; do
  [ -x "$b" ] || continue
  found=1
  name=$(basename "$b")
  echo "== $name"
  "$b" --benchmark_out="$out/$name.json" --benchmark_out_format=json
done
[ "$found" -eq 1 ] || echo "no benchmarks built"
echo "JSON results in $out"
