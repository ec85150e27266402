#!/usr/bin/env bash
# Installs what is missing, builds drennow and runs it in batch mode on a
# copy of the bundled sample, then prints the failure log it wrote.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDRENNOW_WITH_GDAL=ON >/dev/null
cmake --build build --target drennow -j2 >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp data/sample.gpkg "$work/"
status=0
build/app/drennow/drennow --batch "$work/sample.gpkg" || status=$?
if [ -f "$work/Drennow.log" ]; then
  printf '\n--- %s\n' "$work/Drennow.log"
  tr -d '\r' <"$work/Drennow.log"
fi
exit "$status"
