// QGIS's own edit buffer, driven from C++ as QGIS's attribute-table field
// calculator drives it: one field's value written into another for every
// feature of a layer, one undo step, then saved. Loaded by time_in_qgis.py
// through ctypes, so the benchmark's baseline has no Python loop in it.
#include <qgsfeatureiterator.h>
#include <qgsfeaturerequest.h>
#include <qgsvectorlayer.h>

#include <QString>

extern "C" __attribute__((visibility("default"))) int CopyFieldInEditBuffer(void* layerAddress, const char* source,
                                                                            const char* target)
{
    auto* layer = static_cast<QgsVectorLayer*>(layerAddress);
    const int sourceIndex = layer->fields().indexOf(QString::fromUtf8(source));
    const int targetIndex = layer->fields().indexOf(QString::fromUtf8(target));
    if (sourceIndex < 0 || targetIndex < 0 || !layer->startEditing()) {
        return 0;
    }
    layer->beginEditCommand(QStringLiteral("Copy %1 into %2").arg(source, target));
    QgsFeatureRequest request;
    request.setFlags(QgsFeatureRequest::NoGeometry).setSubsetOfAttributes({sourceIndex, targetIndex});
    QgsFeatureIterator features = layer->getFeatures(request);
    for (QgsFeature feature; features.nextFeature(feature);) {
        if (!layer->changeAttributeValue(feature.id(), targetIndex, feature.attribute(sourceIndex),
                                         feature.attribute(targetIndex))) {
            layer->destroyEditCommand();
            layer->rollBack();
            return 0;
        }
    }
    layer->endEditCommand();
    return layer->commitChanges() ? 1 : 0;
}
