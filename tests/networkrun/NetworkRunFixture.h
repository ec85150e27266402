#pragma once
// A map of one basin layer on the in-memory host, the requests of a network
// run over it, and the reference network of its basins.

#include "Reference.h"
#include "command/NextDownAssigner.h"
#include "networkrun/NetworkRun.h"
#include "platform/memory/MemoryGis.h"
#include "runtime/Error.h"

#include <gtest/gtest.h>

#include <random>

namespace drennow::fixtures {

using networkrun::Ending;
using networkrun::Measure;
using networkrun::NetworkRequest;
using networkrun::OutputField;
using runtime::Variant;

class NetworkRunFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        workspace = gis.NewWorkspace("basins.gpkg");
        MakeBasins(host::kFieldTypeLongInteger);
    }

    // The layer "basins": PFAF, HYBAS, NEXT, AREA (real), W (real), NAME (text).
    void MakeBasins(int32_t idType)
    {
        basins = gis.NewFeatureClass(*workspace, {{"PFAF", host::kFieldTypeLongInteger},
                                                  {"HYBAS", idType},
                                                  {"NEXT", idType},
                                                  {"AREA", host::kFieldTypeDouble},
                                                  {"W", host::kFieldTypeDouble},
                                                  {"NAME", host::kFieldTypeString}});
        gis.AddFeatureLayer("basins", basins);
    }

    static NetworkRequest Topology(std::vector<OutputField> outputs)
    {
        NetworkRequest request;
        request.nextDownField = "NEXT";
        request.idField = "HYBAS";
        request.outputs = std::move(outputs);
        return request;
    }
    static NetworkRequest Codes(std::vector<OutputField> outputs)
    {
        NetworkRequest request;
        request.pfafField = "PFAF";
        request.outputs = std::move(outputs);
        return request;
    }

    networkrun::NetworkOutcome Run(const NetworkRequest& request)
    {
        return networkrun::RunNetwork(gis.Application(), request);
    }

    Variant Get(int32_t oid, const std::string& field) const { return basins->Get(oid, field); }
    std::vector<int32_t> Oids() const
    {
        std::vector<int32_t> oids;
        for (const memory::RowData& row : basins->Rows()) {
            oids.push_back(row.oid);
        }
        return oids;
    }
    int32_t FieldType(const std::string& field) const
    {
        return basins->Fields().at(static_cast<size_t>(basins->FieldIndex(field))).type;
    }

    // The reference network of a topology: each basin drains into the first
    // basin read whose identifier is its next-down value.
    reference::WalkedNetwork TopologyReference() const
    {
        const auto& rows = basins->Rows();
        std::vector<int64_t> downstream(rows.size(), reference::kNone);
        for (size_t i = 0; i < rows.size(); ++i) {
            std::optional<int64_t> next = WholeNumber(Get(rows[i].oid, "NEXT"));
            for (size_t j = 0; next && *next != 0 && j < rows.size(); ++j) {
                if (WholeNumber(Get(rows[j].oid, "HYBAS")) == next) {
                    downstream[i] = static_cast<int64_t>(j);
                    break;
                }
            }
        }
        return reference::WalkedNetwork(downstream);
    }

    // The reference network of the codes: each basin drains into the first
    // basin read whose code is the next-down code the command writes.
    reference::WalkedNetwork CodeReference(const command::RunOptions& options, bool allowTrailingZeros) const
    {
        const auto& rows = basins->Rows();
        std::vector<Variant> codes;
        for (const auto& row : rows) {
            Variant code = Get(row.oid, "PFAF");
            codes.push_back(WholeNumber(code, options.int64) ? code : Variant::Null());
        }
        std::vector<command::Assigned> assigned = command::AssignLayer(codes, nullptr, options, allowTrailingZeros);
        std::vector<int64_t> downstream(rows.size(), reference::kNone);
        for (size_t i = 0; i < rows.size(); ++i) {
            if (assigned[i].failure) {
                continue;
            }
            int64_t next = runtime::ToLongLong(assigned[i].value);
            for (size_t j = 0; j < rows.size(); ++j) {
                if (WholeNumber(codes[j], options.int64) == next) {
                    downstream[i] = static_cast<int64_t>(j);
                    break;
                }
            }
        }
        return reference::WalkedNetwork(downstream);
    }

    // A value as a whole number of the width, or nothing (null, or no conversion).
    static std::optional<int64_t> WholeNumber(const Variant& value, bool int64 = true)
    {
        if (value.IsNull()) {
            return std::nullopt;
        }
        try {
            return int64 ? runtime::ToLongLong(value) : runtime::ToLong(value);
        } catch (const runtime::Error&) {
            return std::nullopt;
        }
    }

    // Each row's values, to see that a run changed nothing.
    std::vector<std::vector<Variant>> Values() const
    {
        std::vector<std::vector<Variant>> values;
        for (const auto& row : basins->Rows()) {
            values.push_back(row.values);
        }
        return values;
    }

    memory::MemoryGis gis;
    std::shared_ptr<memory::Workspace> workspace;
    std::shared_ptr<memory::TableData> basins;
    std::mt19937 random{20261209};
};

}  // namespace drennow::fixtures
