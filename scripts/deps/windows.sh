#!/bin/sh
# The Windows image libraries are cross-built from Debian's own sources, so
# apt needs a deb-src entry for the archive the binaries come from.
set -eu
list=/etc/apt/sources.list.d/pelnik-debian-src.sources
if [ ! -f "$list" ]; then
  cat >"$list" <<'LIST'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
LIST
fi
if ! apt-cache showsrc libjpeg-turbo 2>/dev/null | grep -q '^Package:'; then
  apt-get update -qq
fi
