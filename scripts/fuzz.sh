#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for a while (FUZZ_SECONDS,
# default 60). A crash or a disagreement fails the script and leaves its
# input under build-fuzz/artifacts for a regression test.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${FUZZ_SECONDS:-60}
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DDRENNOW_FUZZ=ON -DDRENNOW_BUILD_TESTS=OFF \
  -DDRENNOW_WITH_GDAL=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
targets=(fuzz_next_down fuzz_conversions fuzz_command_line)
cmake --build build-fuzz -j2 --target "${targets[@]}"

mkdir -p build-fuzz/artifacts
for target in "${targets[@]}"; do
  mkdir -p "build-fuzz/corpus/$target"
  log="build-fuzz/$target.log"
  if ! "build-fuzz/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 \
       -artifact_prefix=build-fuzz/artifacts/ "build-fuzz/corpus/$target" > "$log" 2>&1; then
    tail -n 30 "$log"
    echo "fuzz: $target failed" >&2
    exit 1
  fi
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$')
  echo "fuzz: $target: $runs executions in ${seconds}s, no failure"
done
