#!/usr/bin/env bash
# The QGIS desktop benchmark, run by hand: N basins (default 1,000,000) in a
# GeoPackage, and in back-to-back QGIS sessions under Xvfb (1280x800), each on
# a fresh copy: QGIS's own edit buffer writing HydroID into NextDownID from
# C++ and saving, Drennow's menu action (temporary session, identifiers), QGIS's
# field calculator (native:fieldcalculator) writing a new GeoPackage with the
# field, and drennow:nextdownid writing one. Prints the seconds and each
# session's peak memory. Modes named after N time those alone.
# Usage: run-qgis-bench.sh BUILD_FOLDER [N [MODE...]]
set -euo pipefail
build=$(cd "$1" && pwd)
count=${2:-1000000}
shift $(( $# < 2 ? $# : 2 ))
modes=("${@:-editbuffer menu fieldcalculator algorithm}")
here=$(cd "$(dirname "$0")" && pwd)
python=/usr/bin/python3  # the interpreter QGIS's Python bindings belong to
plugin_dir=$build/src/platform/qgis

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/profiles/default/QGIS" "$work/home"
chmod 700 "$work/home"
cat > "$work/profiles/default/QGIS/QGIS3.ini" <<INI
[Plugins]
libdrennowplugin=true

[plugins]
searchPathsForPlugins=$plugin_dir

[qgis]
showTips=false
checkVersion=false
INI
export HOME=$work/home
export XDG_RUNTIME_DIR=$work/home

echo "writing $count basins"
QT_QPA_PLATFORM=offscreen "$python" "$here/make_basins.py" "$work/basins.gpkg" "$count"

for mode in ${modes[*]}; do
  cp "$work/basins.gpkg" "$work/run.gpkg"
  rm -f "$work/out.gpkg" "$work/result.json"
  BENCH_MODE=$mode BENCH_GEOPACKAGE=$work/run.gpkg BENCH_OUTPUT=$work/out.gpkg BENCH_RESULT=$work/result.json \
    BENCH_BASELINE_LIBRARY=$build/bench/qgis/drennow_editbuffer_baseline.so \
    timeout 1800 xvfb-run -a -s "-screen 0 1280x800x24" \
    qgis --profiles-path "$work" --nologo --noversioncheck --code "$here/time_in_qgis.py" \
    > "$work/qgis-$mode.log" 2>&1 || true
  if [ -f "$work/result.json" ]; then
    cat "$work/result.json"; echo
  else
    echo "{\"mode\": \"$mode\", \"error\": \"no result\"}"
  fi
done
