#!/bin/sh
# Fails when a C or C++ source differs from the layout .clang-format gives.
set -eu
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || { echo "check-format: clang-format is missing" >&2; exit 1; }
git ls-files '*.c' '*.cpp' '*.h' | xargs clang-format --dry-run --Werror
echo "check-format: every source follows .clang-format"
