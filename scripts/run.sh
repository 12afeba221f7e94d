#!/usr/bin/env bash
# Installs what is missing, builds and starts the console on the embedded default repository.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
exec build/apps/velmora "$@"
