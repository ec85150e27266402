#!/usr/bin/env bash
# Installs what the command line needs, builds drennow alone (in build-sample)
# and runs it in batch mode on a copy of the bundled sample, then prints the
# failure log it wrote.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh command-line
cmake -S . -B build-sample -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDRENNOW_WITH_GDAL=ON -DDRENNOW_WITH_QGIS=OFF \
  -DDRENNOW_WITH_PYTHON=OFF -DDRENNOW_BUILD_TESTS=OFF >/dev/null
cmake --build build-sample --target drennow -j2 >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp data/sample.gpkg "$work/"
status=0
build-sample/app/drennow/drennow --batch "$work/sample.gpkg" || status=$?
if [ -f "$work/Drennow.log" ]; then
  printf '\n--- %s\n' "$work/Drennow.log"
  tr -d '\r' <"$work/Drennow.log"
fi
exit "$status"
