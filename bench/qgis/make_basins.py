"""Writes the QGIS benchmark's GeoPackage: N basins (squares) in the layer
Watershed with PfafstetterID (seven-digit codes, digits 1-9, in order, so
that nearly every basin has its downstream neighbour in the layer),
HydroID and an empty NextDownID.

    make_basins.py PATH N
"""
import itertools
import sys

from qgis.core import (QgsApplication, QgsCoordinateReferenceSystem, QgsCoordinateTransformContext, QgsFeature,
                       QgsField, QgsFields, QgsGeometry, QgsRectangle, QgsVectorFileWriter, QgsWkbTypes)
from qgis.PyQt.QtCore import QVariant


def codes(count):
    digits = range(1, 10)
    for number in itertools.islice(itertools.product(digits, repeat=7), count):
        yield int("".join(map(str, number)))


def main(path, count):
    app = QgsApplication([], False)
    app.initQgis()
    fields = QgsFields()
    for name in ("PfafstetterID", "HydroID", "NextDownID"):
        fields.append(QgsField(name, QVariant.Int))
    options = QgsVectorFileWriter.SaveVectorOptions()
    options.driverName = "GPKG"
    options.layerName = "Watershed"
    writer = QgsVectorFileWriter.create(path, fields, QgsWkbTypes.Polygon,
                                        QgsCoordinateReferenceSystem("EPSG:4326"), QgsCoordinateTransformContext(),
                                        options)
    batch = []
    for index, code in enumerate(codes(count)):
        feature = QgsFeature(fields)
        feature.setAttributes([code, index + 1, None])
        x, y = index % 1000, index // 1000
        feature.setGeometry(QgsGeometry.fromRect(QgsRectangle(x, y, x + 1, y + 1)))
        batch.append(feature)
        if len(batch) == 50000:
            writer.addFeatures(batch)
            batch = []
    writer.addFeatures(batch)
    del writer
    app.exitQgis()


if __name__ == "__main__":
    main(sys.argv[1], int(sys.argv[2]))
