#!/usr/bin/env bash
# Builds the Debian package of Velmora with CPack; its path is the last line printed.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh >&2
rm -f build/package/velmora_*.deb
(cd build && cpack -G DEB) >&2
deb=$(ls "$PWD"/build/package/velmora_*.deb)
echo "$deb"
