#!/usr/bin/env bash
# Installs what is missing, builds, starts a throwaway PostgreSQL server, runs the whole suite,
# then builds the Debian package and checks it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
pgdir=$(mktemp -d /tmp/velmora-pg.XXXXXX)
trap 'scripts/pg-stop.sh "$pgdir"; rm -rf "$pgdir"' EXIT
export VELMORA_TEST_PG=$(scripts/pg-start.sh "$pgdir")
ctest --test-dir build --output-on-failure -j"$(nproc)"
scripts/check-package.sh
