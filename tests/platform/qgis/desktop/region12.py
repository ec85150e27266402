"""The desktop test's basins: eight basins of region 12 whose downstream
neighbours follow from the Pfafstetter rules.

    region12.py make PATH    writes them as the layer Watershed of a GeoPackage
    region12.py check PATH [TABLE]   checks the NextDownID that the run wrote
                                     there (in the layer Watershed unless named)
"""
import sqlite3
import sys

# code: HydroID
BASINS = {1239: 101, 1237: 102, 1234: 103, 1233: 104, 1231: 105, 1219: 106, 1212: 107, 1211: 108}
# code: downstream code, -9 for the outlet, which drains to the sea
NEXT_DOWN = {1239: 1237, 1237: 1233, 1234: 1233, 1233: 1231, 1231: 1219, 1219: 1211, 1212: 1211, 1211: -9}


def expected_ids():
    return {code: BASINS[next] if next > 0 else next for code, next in NEXT_DOWN.items()}


def make(path):
    from qgis.core import (QgsApplication, QgsCoordinateTransformContext, QgsFeature, QgsGeometry,
                           QgsRectangle, QgsVectorFileWriter, QgsVectorLayer)
    app = QgsApplication([], False)
    app.initQgis()
    layer = QgsVectorLayer("Polygon?crs=EPSG:4326&field=PfafstetterID:integer&field=HydroID:integer",
                           "Watershed", "memory")
    features = []
    for left, (code, hydro_id) in enumerate(BASINS.items()):
        feature = QgsFeature(layer.fields())
        feature.setAttributes([code, hydro_id])
        feature.setGeometry(QgsGeometry.fromRect(QgsRectangle(left, 0, left + 1, 1)))
        features.append(feature)
    layer.dataProvider().addFeatures(features)
    options = QgsVectorFileWriter.SaveVectorOptions()
    options.driverName = "GPKG"
    options.layerName = "Watershed"
    error = QgsVectorFileWriter.writeAsVectorFormatV3(layer, path, QgsCoordinateTransformContext(), options)
    app.exitQgis()
    if error[0] != QgsVectorFileWriter.NoError:
        sys.exit("cannot write %s: %s" % (path, error))


def check(path, table="Watershed"):
    rows = sqlite3.connect(path).execute('SELECT PfafstetterID, NextDownID FROM "%s"' % table).fetchall()
    written = dict(rows)
    if written != expected_ids():
        sys.exit("NextDownID in %s is %s, expected %s" % (path, written, expected_ids()))
    print("NextDownID of all %d basins as expected" % len(written))


if __name__ == "__main__":
    {"make": make, "check": check}[sys.argv[1]](*sys.argv[2:])
