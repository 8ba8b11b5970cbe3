#!/bin/sh
# pip install ./python in a venv made with --system-site-packages works
# without a network, and the venv's pelnik is the one that was installed.
set -eu
python="$1"
source="$2"
library="$3"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

"$python" -m venv --system-site-packages "$work/venv"
# A copy of the source, so the build leaves nothing in the work tree.
cp -r "$source" "$work/src"
rm -rf "$work/src/tests"
PIP_NO_INDEX=1 "$work/venv/bin/pip" install -q --no-build-isolation "$work/src" \
  || fail "pip install"
rm -rf "$work/src"
cd "$work"
where=$(PELNIK_LIBRARY="$library" "$work/venv/bin/python" -c \
  'import pelnik; assert pelnik.version() == 28181791; print(pelnik.__file__)')
case "$where" in
  "$work/venv/"*) ;;
  *) fail "pelnik imported from $where, not from the venv" ;;
esac
echo "pip install in a venv: $where"
