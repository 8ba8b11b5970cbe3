#!/bin/sh
# Installs the Debian packages of the default group (the Linux build and its
# tests) and of every group named on the command line (windows, arm64, serve,
# bench, ...): scripts/deps/GROUP.txt, one package a line. Idempotent: does
# nothing when every package is present, and installs what is missing in one
# apt transaction. A group may bring a set-up script, scripts/deps/GROUP.sh,
# run before the install (an architecture or a source entry to add).
set -eu
here=$(dirname "$0")

groups="default"
for g in "$@"; do
  case "$g" in
    --bench) g=bench ;;
  esac
  [ -f "$here/deps/$g.txt" ] || { echo "install-deps: no group '$g'" >&2; exit 2; }
  groups="$groups $g"
done

if [ "$(id -u)" -eq 0 ]; then
  SUDO=""
elif command -v sudo >/dev/null 2>&1; then
  SUDO="sudo"
else
  SUDO="need-root"
fi

for g in $groups; do
  if [ -f "$here/deps/$g.sh" ]; then
    [ "$SUDO" = "need-root" ] && { echo "install-deps: group $g needs root" >&2; exit 1; }
    $SUDO sh "$here/deps/$g.sh"
  fi
done

missing=""
for p in $(for g in $groups; do sed -e 's/#.*//' "$here/deps/$g.txt"; done); do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  case "$status" in
    *"install ok installed"*) ;;
    *) missing="$missing $p" ;;
  esac
done
[ -z "$missing" ] && exit 0

echo "Installing:$missing"
if [ "$SUDO" = "need-root" ]; then
  echo "install-deps: need root or sudo to install:$missing" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
# shellcheck disable=SC2086
$SUDO apt-get install -y -qq --no-install-recommends $missing >/dev/null
