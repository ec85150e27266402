#!/usr/bin/env bash
# Installs what is missing, builds and runs every test: the suite, the suite
# again under AddressSanitizer and UndefinedBehaviorSanitizer (all but the
# QGIS plugin, whose libraries are not built for it), and a short run of each
# fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDRENNOW_WITH_GDAL=ON -DDRENNOW_WITH_QGIS=ON \
  -DDRENNOW_WITH_PYTHON=ON -DDRENNOW_BUILD_TESTS=ON
cmake --build build -j2
ctest --test-dir build --output-on-failure -j2

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DDRENNOW_SANITIZE=ON -DDRENNOW_WITH_GDAL=ON -DDRENNOW_WITH_QGIS=OFF \
  -DDRENNOW_BUILD_TESTS=ON
cmake --build build-asan -j2
ctest --test-dir build-asan --output-on-failure -j2

FUZZ_SECONDS=${FUZZ_SECONDS:-60} scripts/fuzz.sh
