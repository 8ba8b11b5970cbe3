#!/bin/sh
# Runs one arm64 program under qemu-aarch64 with the arm64 runtime as its
# root: the emulator of the arm64 test tree. Nothing registers a binfmt
# handler on these machines, so the tests start their helper programs through
# the command in PELNIK_TEST_EMULATOR; PELNIK_TEST_REDUCED asks the tests that
# take minutes under emulation for fewer iterations or smaller pictures.
#   qemu-run.sh PROGRAM [ARGUMENTS...]
set -eu
root=${PELNIK_ARM64_ROOT:-/usr/aarch64-linux-gnu}
command -v qemu-aarch64 >/dev/null || { echo "qemu-run: qemu-aarch64 missing (sh scripts/install-deps.sh arm64)" >&2; exit 1; }
[ -d "$root/lib" ] || { echo "qemu-run: no arm64 runtime in $root" >&2; exit 1; }
export PELNIK_TEST_EMULATOR="qemu-aarch64 -L $root"
export PELNIK_TEST_REDUCED="${PELNIK_TEST_REDUCED:-1}"
exec qemu-aarch64 -L "$root" "$@"
