#include "networkrun/Outputs.h"

#include "networkrun/NetworkTexts.h"
#include "networkrun/Stops.h"
#include "runtime/Error.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>

namespace drennow::networkrun {

using runtime::Variant;

void Screened::Add(const Screened& other)
{
    count += other.count;
    for (int32_t id : other.firstIds) {
        if (firstIds.size() < network::kCycleExamples) {
            firstIds.push_back(id);
        }
    }
}

Screened ScreenWholeNumbers(std::vector<Variant>& values, const std::vector<int32_t>& objectIds, bool int64)
{
    Screened screened;
    for (size_t i = 0; i < values.size(); ++i) {
        if (values[i].IsNull()) {
            continue;
        }
        try {
            int64 ? static_cast<void>(runtime::ToLongLong(values[i])) : static_cast<void>(runtime::ToLong(values[i]));
        } catch (const runtime::Error&) {
            values[i] = Variant::Null();
            screened.Add({1, {objectIds[i]}});
        }
    }
    return screened;
}

namespace {

enum class Kind { Real, Whole, Identifier };

Kind KindOf(Measure measure)
{
    switch (measure) {
    case Measure::Count:
    case Measure::Moves:
    case Measure::Rank:
        return Kind::Whole;
    case Measure::Outlet:
        return Kind::Identifier;
    default:
        return Kind::Real;
    }
}

bool IsWholeType(int32_t type)
{
    return type == host::kFieldTypeSmallInteger || type == host::kFieldTypeLongInteger ||
           type == host::kFieldTypeBigInteger || type == host::kFieldTypeDouble;
}

// Whether a field of that type can take the measure's values at all.
bool TakesKind(int32_t type, Kind kind, int32_t identifierType)
{
    switch (kind) {
    case Kind::Real:
        return type == host::kFieldTypeSingle || type == host::kFieldTypeDouble;
    case Kind::Whole:
        return IsWholeType(type);
    case Kind::Identifier:
        return IsWholeType(type) || (type == host::kFieldTypeString && identifierType == host::kFieldTypeString);
    }
    return false;
}

std::string Lowered(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

int32_t IdentifierType(const NetworkRequest& request, host::IFields& fields, const std::string& layer)
{
    const std::string& name = request.idField ? *request.idField : *request.pfafField;
    int32_t index = FindNamedField(fields, name, request.idField ? options::kIdField : options::kPfafField, layer);
    return runtime::Deref(fields.Field(index)).Type();
}

Destination FindDestination(const OutputField& output, host::IFields& fields, const std::vector<int32_t>& readIndexes,
                            const std::string& layer, int32_t identifierType)
{
    const char* option = OptionOf(output.measure);
    Destination destination;
    destination.output = &output;
    destination.name = output.dest;
    std::optional<int32_t> index = FieldNamed(fields, output.dest, option, layer);
    if (!index) {
        return destination;
    }
    host::Ref<host::IField> fieldRef = fields.Field(*index);
    host::IField& field = runtime::Deref(fieldRef);
    destination.name = field.Name();
    if (std::find(readIndexes.begin(), readIndexes.end(), *index) != readIndexes.end()) {
        throw Refusal(Ending::Refused, texts::DestinationIsRead(option, destination.name));
    }
    destination.index = *index;
    destination.type = field.Type();
    Kind kind = KindOf(output.measure);
    if (!TakesKind(destination.type, kind, identifierType)) {
        throw Refusal(Ending::Refused,
                      texts::DestinationType(option, destination.name, host::FieldTypeName(destination.type),
                                             kind == Kind::Real ? texts::kRealValues : texts::kWholeValues));
    }
    return destination;
}

}  // namespace

std::vector<Destination> FindDestinations(const NetworkRequest& request, host::IFields& fields,
                                          const std::vector<int32_t>& readIndexes, const std::string& layer)
{
    int32_t identifierType = IdentifierType(request, fields, layer);
    std::vector<Destination> destinations;
    for (const OutputField& output : request.outputs) {
        Destination destination = FindDestination(output, fields, readIndexes, layer, identifierType);
        for (const Destination& earlier : destinations) {
            if (Lowered(earlier.name) == Lowered(destination.name)) {
                throw Refusal(Ending::Refused, texts::DestinationTwice(destination.name));
            }
        }
        destinations.push_back(std::move(destination));
    }
    return destinations;
}

namespace {

Variant RealOrNull(double value)
{
    return std::isnan(value) ? Variant::Null() : Variant(value);
}

Variant WholeOrNull(int64_t value)
{
    return value < 0 ? Variant::Null() : Variant(value);
}

network::Accumulation AccumulationOf(Measure measure)
{
    switch (measure) {
    case Measure::Sum:
        return network::Accumulation::Sum;
    case Measure::Mean:
        return network::Accumulation::Mean;
    case Measure::Min:
        return network::Accumulation::Min;
    case Measure::Max:
        return network::Accumulation::Max;
    case Measure::WeightedMean:
        return network::Accumulation::WeightedMean;
    default:
        return network::Accumulation::Count;
    }
}

std::vector<Variant> ValuesOf(Measure measure, const network::Network& network, const ValueColumns& columns,
                              size_t output)
{
    size_t count = network.Size();
    std::vector<Variant> values(count);
    if (measure == Measure::Outlet || measure == Measure::Moves || measure == Measure::Rank) {
        for (size_t i = 0; i < count; ++i) {
            auto basin = static_cast<network::Position>(i);
            if (measure == Measure::Outlet) {
                network::Position outlet = network.Outlet(basin);
                values[i] = outlet == network::kNoBasin ? Variant::Null()
                                                        : (*columns.identifiers)[static_cast<size_t>(outlet)];
            } else {
                values[i] = WholeOrNull(measure == Measure::Moves ? network.Moves(basin) : network.Rank(basin));
            }
        }
        return values;
    }
    std::vector<double> accumulated =
        measure == Measure::Count
            ? network.Accumulate(std::vector<double>(count, 1.0), network::Accumulation::Count)
            : network.Accumulate(*columns.sources[output], AccumulationOf(measure),
                                 columns.weights[output] ? *columns.weights[output] : std::vector<double>{});
    for (size_t i = 0; i < count; ++i) {
        // A basin on a cycle has no upstream set, so not even a count.
        bool onCycle = network.Outlet(static_cast<network::Position>(i)) == network::kNoBasin;
        values[i] = onCycle ? Variant::Null()
                            : measure == Measure::Count ? Variant(static_cast<int64_t>(accumulated[i]))
                                                        : RealOrNull(accumulated[i]);
    }
    return values;
}

bool FitsLong(const Variant& value)
{
    if (value.IsNull()) {
        return true;
    }
    double number = runtime::ToDouble(value);
    return number >= INT32_MIN && number <= INT32_MAX;
}

// The type an added field gets: the identifier field's for outlets, as wide
// as their values need.
int32_t TypeToAdd(Kind kind, const std::vector<Variant>& values, int32_t identifierType)
{
    switch (kind) {
    case Kind::Real:
        return host::kFieldTypeDouble;
    case Kind::Whole:
        return host::kFieldTypeLongInteger;
    case Kind::Identifier:
        if (identifierType == host::kFieldTypeString || identifierType == host::kFieldTypeDouble ||
            identifierType == host::kFieldTypeSingle) {
            return identifierType == host::kFieldTypeString ? host::kFieldTypeString : host::kFieldTypeDouble;
        }
        return std::all_of(values.begin(), values.end(), FitsLong) ? host::kFieldTypeLongInteger
                                                                   : host::kFieldTypeBigInteger;
    }
    return host::kFieldTypeDouble;
}

// The values a field of that type holds exactly; the others are left to the
// host, which refuses them when written (hosts report 64-bit integer fields
// as long integers).
bool Holds(int32_t type, const Variant& value)
{
    if (value.IsNull() || value.IsText()) {
        return true;
    }
    double number = runtime::ToDouble(value);
    switch (type) {
    case host::kFieldTypeSmallInteger:
        return number >= INT16_MIN && number <= INT16_MAX;
    case host::kFieldTypeDouble:
        return value.IsInteger() ? std::fabs(number) <= 9007199254740992.0 : true;
    default:
        return true;
    }
}

void CheckHeld(const Destination& destination, const std::vector<int32_t>& objectIds)
{
    for (size_t i = 0; i < destination.values.size(); ++i) {
        if (!Holds(destination.type, destination.values[i])) {
            throw Refusal(Ending::CheckFailed,
                          texts::DestinationRange(OptionOf(destination.output->measure), destination.name,
                                                  host::FieldTypeName(destination.type),
                                                  runtime::ToText(destination.values[i]), objectIds[i]));
        }
    }
}

}  // namespace

void FillValues(std::vector<Destination>& destinations, const network::Network& network, const ValueColumns& columns,
                const std::vector<int32_t>& objectIds)
{
    for (size_t output = 0; output < destinations.size(); ++output) {
        Destination& destination = destinations[output];
        destination.values = ValuesOf(destination.output->measure, network, columns, output);
        if (destination.index == -1) {
            destination.type =
                TypeToAdd(KindOf(destination.output->measure), destination.values, columns.identifierType);
        } else {
            CheckHeld(destination, objectIds);
        }
    }
}

void AddMissingFields(host::IFeatureClass& featureClass, std::vector<Destination>& destinations)
{
    for (Destination& destination : destinations) {
        if (destination.index != -1) {
            continue;
        }
        featureClass.AddField(host::NewField{destination.name, destination.type});
        host::Ref<host::IFields> fields = featureClass.Fields();
        // A host may spell the name its own way (in lower case, or shorter).
        std::optional<int32_t> index = FieldNamed(runtime::Deref(fields), destination.name,
                                                  OptionOf(destination.output->measure), "");
        if (!index) {
            throw runtime::Error(runtime::kHostCallFailed, texts::FieldNotAdded(destination.name));
        }
        destination.index = *index;
    }
}

void WriteFeature(host::IRow& feature, size_t position, const std::vector<Destination>& destinations)
{
    for (const Destination& destination : destinations) {
        const Variant& value = destination.values[position];
        try {
            feature.SetValue(destination.index, value);
        } catch (const runtime::Error& error) {
            if (error.Number() != runtime::kOverflow) {
                throw;
            }
            throw runtime::Error(runtime::kOverflow,
                                 texts::DestinationRange(OptionOf(destination.output->measure), destination.name,
                                                         host::FieldTypeName(destination.type),
                                                         runtime::ToText(value), feature.OID()));
        }
    }
}

}  // namespace drennow::networkrun
