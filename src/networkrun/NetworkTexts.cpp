#include "networkrun/NetworkTexts.h"

namespace drennow::networkrun::texts {

namespace {

std::string Joined(const std::vector<std::string>& names)
{
    std::string joined;
    for (const std::string& name : names) {
        joined += (joined.empty() ? "" : ", ") + name;
    }
    return joined;
}

std::string IdList(const std::vector<int32_t>& ids, size_t all)
{
    std::string list;
    for (int32_t id : ids) {
        list += (list.empty() ? "" : ", ") + std::to_string(id);
    }
    return list + (all > ids.size() ? ", ..." : "");
}

std::string Basins(size_t count)
{
    return std::to_string(count) + (count == 1 ? " basin" : " basins");
}

}  // namespace

std::string LayerNotFound(const std::string& layer, const std::vector<std::string>& layers)
{
    return "there is no feature layer called " + layer + "; the feature layers are: " + Joined(layers);
}

std::string SeveralLayers(const std::vector<std::string>& layers)
{
    return "the map has several feature layers (" + Joined(layers) + "); name one with --layer";
}

std::string FieldNotFound(const char* option, const std::string& field, const std::string& layer,
                          const std::vector<std::string>& fields)
{
    return std::string(option) + ": " + layer + " has no field called " + field + "; its fields are: " +
           Joined(fields);
}

std::string FieldAmbiguous(const char* option, const std::string& field, const std::string& layer,
                           const std::vector<std::string>& matching)
{
    return std::string(option) + ": " + field + " could be any of the fields " + Joined(matching) + " of " + layer;
}

std::string TextValueField(const char* option, const std::string& field)
{
    return std::string(option) + ": " + field + " is a text field; the values are to be numbers";
}

std::string NotANumber(const char* option, const std::string& field, int32_t objectId, const std::string& value)
{
    return std::string(option) + ": " + field + " of feature " + std::to_string(objectId) + " is no number: '" +
           value + "'";
}

std::string DestinationIsRead(const char* option, const std::string& field)
{
    return std::string(option) + ": " + field + " is read by this run; write into another field";
}

std::string DestinationTwice(const std::string& field)
{
    return field + " is to be written more than once";
}

std::string DestinationType(const char* option, const std::string& field, const char* typeName, const char* holds)
{
    return std::string(option) + ": " + field + " is a field of type " + typeName + ", which cannot hold " + holds;
}

std::string DestinationRange(const char* option, const std::string& field, const char* typeName,
                             const std::string& value, int32_t objectId)
{
    return std::string(option) + ": " + field + " (of type " + typeName + ") cannot hold " + value +
           ", the value of feature " + std::to_string(objectId);
}

std::string NoQueriedFeature(const char* option, const std::string& layer)
{
    return std::string(option) + ": none of the ids given is of a feature of " + layer;
}

std::string FieldNotAdded(const std::string& field)
{
    return "the field " + field + " was added, but the layer has no field of that name";
}

std::string IdsOfNoFeature(const char* option, size_t missing, const std::string& layer, size_t found)
{
    return std::string(option) + ": " + std::to_string(missing) + " of the ids given are of no feature of " + layer +
           "; the run goes on with the " + std::to_string(found) + " that are";
}

std::string FieldsWritten(const std::vector<std::string>& fields, size_t written, size_t basins, size_t outlets)
{
    return "Wrote " + Joined(fields) + " into " + std::to_string(written) + " of " + Basins(basins) + " (" +
           std::to_string(outlets) + (outlets == 1 ? " outlet)" : " outlets)");
}

std::string OnCycles(size_t basins, const std::vector<int32_t>& firstIds)
{
    return Basins(basins) + " on or upstream of a cycle got no value (features " + IdList(firstIds, basins) + ")";
}

std::string CodesNotConverting(size_t basins, const std::vector<int32_t>& firstIds, bool identifiers)
{
    return std::to_string(basins) + (identifiers ? " identifiers or next-down values" : " codes") +
           " that do not convert to whole numbers end their chains (features " + IdList(firstIds, basins) + ")";
}

std::string RepeatedIdentifiers(size_t basins)
{
    return Basins(basins) + " repeat the identifier of a basin read before; none drains into them";
}

std::string FeaturesFound(size_t found, size_t basins)
{
    return "Found " + std::to_string(found) + " of " + Basins(basins);
}

std::string FeaturesCopied(size_t found, size_t basins, const std::string& file)
{
    return FeaturesFound(found, basins) + ", written to " + file;
}

}  // namespace drennow::networkrun::texts
