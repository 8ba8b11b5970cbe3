#!/bin/sh
# Runs one arm64 program under qemu-aarch64: the emulator of the arm64 test
# tree. Nothing registers a binfmt handler on these machines, so the tests
# start their helper programs through the command in PELNIK_TEST_EMULATOR;
# PELNIK_TEST_REDUCED asks the tests that take minutes under emulation for
# fewer iterations or smaller pictures.
#   qemu-run.sh PROGRAM [ARGUMENTS...]
#
# The root is / (the multiarch arm64 packages), not /usr/aarch64-linux-gnu:
# that tree's loader comes from the cross toolchain's C library, a different
# build from the multiarch libc6:arm64 the programs load, and the two share
# private state (a new thread's stack list), so threads hang.
set -eu
root=${PELNIK_ARM64_ROOT:-/}
command -v qemu-aarch64 >/dev/null || { echo "qemu-run: qemu-aarch64 missing (sh scripts/install-deps.sh arm64)" >&2; exit 1; }
[ -e "$root/lib/ld-linux-aarch64.so.1" ] || { echo "qemu-run: no arm64 loader in $root (sh scripts/install-deps.sh arm64)" >&2; exit 1; }
export PELNIK_TEST_EMULATOR="qemu-aarch64 -L $root"
export PELNIK_TEST_REDUCED="${PELNIK_TEST_REDUCED:-1}"
exec qemu-aarch64 -L "$root" "$@"
