#!/usr/bin/env bash
# Runs Drennow in the real QGIS desktop under Xvfb: a throwaway profile that
# enables the plugin from the build folder, a start-up script that clicks the
# command and answers its dialogs, then runs the Processing algorithm, and a
# check of both GeoPackages afterwards.
# Usage: run-desktop-test.sh PLUGIN_FOLDER ARTIFACT_FOLDER
set -euo pipefail
plugin_dir=$1
artifacts=$2
here=$(cd "$(dirname "$0")" && pwd)
python=/usr/bin/python3  # the interpreter QGIS's Python bindings belong to

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$artifacts" "$work/profiles/default/QGIS" "$work/home"
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
export DRENNOW_GEOPACKAGE=$work/basins.gpkg
export DRENNOW_RESULT=$work/result.json
export DRENNOW_SCREENSHOT=$artifacts/frmField-desktop.png
export DRENNOW_ALGORITHM_OUTPUT=$work/algorithm.gpkg
export DRENNOW_ALGORITHM_SCREENSHOT=$artifacts/nextdownid-dialog.png
rm -f "$DRENNOW_SCREENSHOT" "$DRENNOW_ALGORITHM_SCREENSHOT"
QT_QPA_PLATFORM=offscreen "$python" "$here/region12.py" make "$DRENNOW_GEOPACKAGE"

timeout 150 xvfb-run -a -s "-screen 0 1280x800x24" \
  qgis --profiles-path "$work" --nologo --noversioncheck --code "$here/drive_qgis.py" \
  > "$artifacts/qgis-desktop.log" 2>&1 || true

[ -f "$DRENNOW_RESULT" ] || { echo "QGIS wrote no result; see $artifacts/qgis-desktop.log"; exit 1; }
cp "$DRENNOW_RESULT" "$artifacts/desktop-result.json"
"$python" "$here/check_desktop_run.py" "$DRENNOW_RESULT" "$DRENNOW_SCREENSHOT" "$DRENNOW_ALGORITHM_SCREENSHOT"
"$python" "$here/region12.py" check "$DRENNOW_GEOPACKAGE"
# The algorithm's layer is named after its file.
"$python" "$here/region12.py" check "$DRENNOW_ALGORITHM_OUTPUT" algorithm
