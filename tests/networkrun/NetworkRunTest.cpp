#include "NetworkRunFixture.h"

#include "networkrun/NetworkTexts.h"

#include <cmath>
#include <functional>

using namespace drennow;
using namespace drennow::fixtures;

namespace {

OutputField Sum(const char* source, const char* dest) { return {Measure::Sum, dest, source, ""}; }
OutputField Own(Measure measure, const char* dest) { return {measure, dest, "", ""}; }

void ExpectNear(const Variant& written, std::optional<double> expected, const std::string& what)
{
    if (!expected) {
        EXPECT_TRUE(written.IsNull()) << what << ": " << written;
        return;
    }
    ASSERT_TRUE(written.IsNumber()) << what << ": " << written;
    EXPECT_NEAR(runtime::ToDouble(written), *expected, 1e-9 * std::max(1.0, std::fabs(*expected))) << what;
}

std::optional<double> Whole(std::optional<int64_t> value)
{
    return value ? std::optional<double>(static_cast<double>(*value)) : std::nullopt;
}

}  // namespace

class NetworkRefusals : public NetworkRunFixture {
protected:
    void SetUp() override
    {
        NetworkRunFixture::SetUp();
        basins->AddRow({{"PFAF", 12}, {"HYBAS", 1}, {"NEXT", 0}, {"AREA", 2.5}, {"NAME", "a"}});
        basins->AddRow({{"PFAF", 13}, {"HYBAS", 2}, {"NEXT", 1}, {"AREA", 1.0}, {"NAME", "b"}});
    }

    // The run is refused with exactly that text, and nothing at all changed.
    void ExpectRefused(const NetworkRequest& request, Ending ending, const std::string& text)
    {
        auto before = Values();
        size_t fields = basins->Fields().size();
        networkrun::NetworkOutcome outcome = Run(request);
        EXPECT_EQ(outcome.ending, ending) << text;
        EXPECT_EQ(outcome.message, text);
        EXPECT_EQ(Values(), before);
        EXPECT_EQ(basins->Fields().size(), fields);
        EXPECT_TRUE(gis.TheEditor().sessionLog.empty());
        EXPECT_EQ(gis.Faults().Calls("IRow.Store"), 0);
        EXPECT_TRUE(gis.Ui().shown.empty());
    }
};

TEST_F(NetworkRefusals, FieldsThatAreMissingAmbiguousOrOfText)
{
    const std::string fields = "OBJECTID, Shape, PFAF, HYBAS, NEXT, AREA, W, NAME";
    ExpectRefused(Topology({Sum("SIZE", "UP")}), Ending::Refused,
                  "--sum: basins has no field called SIZE; its fields are: " + fields);
    NetworkRequest codes = Codes({Own(Measure::Count, "N")});
    codes.pfafField = "PFAF_9";
    ExpectRefused(codes, Ending::Refused, "--pfaf-field: basins has no field called PFAF_9; its fields are: " + fields);
    NetworkRequest noId = Topology({Own(Measure::Count, "N")});
    noId.idField = "ID";
    ExpectRefused(noId, Ending::Refused, "--id-field: basins has no field called ID; its fields are: " + fields);
    ExpectRefused(Topology({Sum("NAME", "UP")}), Ending::Refused,
                  "--sum: NAME is a text field; the values are to be numbers");
    // A name in another case is taken when it is the only one so spelled.
    basins->AddField({"area", host::kFieldTypeDouble});
    ExpectRefused(Topology({Sum("Area", "UP")}), Ending::Refused,
                  "--sum: Area could be any of the fields AREA, area of basins");
}

TEST_F(NetworkRefusals, ValuesThatAreNoNumbers)
{
    basins->AddRow({{"HYBAS", 3}, {"NEXT", 1}, {"AREA", "12,5"}});
    ExpectRefused(Topology({Sum("AREA", "UP")}), Ending::CheckFailed, "--sum: AREA of feature 3 is no number: '12,5'");
    NetworkRequest weighted = Topology({{Measure::WeightedMean, "M", "W", "AREA"}});
    ExpectRefused(weighted, Ending::CheckFailed, "--weighted-mean: AREA of feature 3 is no number: '12,5'");
}

TEST_F(NetworkRefusals, DestinationsThatAreReadTwiceOrOfTheWrongType)
{
    ExpectRefused(Topology({Sum("AREA", "AREA")}), Ending::Refused,
                  "--sum: AREA is read by this run; write into another field");
    ExpectRefused(Topology({Own(Measure::Outlet, "next")}), Ending::Refused,
                  "--outlet: NEXT is read by this run; write into another field");
    ExpectRefused(Topology({Sum("AREA", "UP"), Own(Measure::Count, "up")}), Ending::Refused,
                  "up is to be written more than once");
    ExpectRefused(Topology({Own(Measure::Count, "NAME")}), Ending::Refused,
                  "--count: NAME is a field of type text, which cannot hold whole numbers");
    basins->AddField({"N16", host::kFieldTypeSmallInteger});
    basins->AddField({"F", host::kFieldTypeLongInteger});
    ExpectRefused(Topology({Sum("AREA", "F")}), Ending::Refused,
                  "--sum: F is a field of type integer, which cannot hold real numbers");
    basins->FindRow(1)->values[static_cast<size_t>(basins->FieldIndex("HYBAS"))] = Variant(40000);
    basins->FindRow(2)->values[static_cast<size_t>(basins->FieldIndex("NEXT"))] = Variant(40000);
    ExpectRefused(Topology({Own(Measure::Outlet, "N16")}), Ending::CheckFailed,
                  "--outlet: N16 (of type small integer) cannot hold 40000, the value of feature 1");
}

TEST_F(NetworkRefusals, LayersThatAreMissingOrMany)
{
    NetworkRequest request = Topology({Own(Measure::Count, "N")});
    request.layer = "rivers";
    ExpectRefused(request, Ending::Refused, "there is no feature layer called rivers; the feature layers are: basins");
    gis.AddFeatureLayer("lakes", gis.NewFeatureClass(*workspace, {}));
    ExpectRefused(Topology({Own(Measure::Count, "N")}), Ending::Refused,
                  "the map has several feature layers (basins, lakes); name one with --layer");
}

TEST_F(NetworkRefusals, QueriesOfNoFeature)
{
    NetworkRequest request = Topology({});
    request.query = networkrun::Query{networkrun::Direction::Upstream, {7, 8}};
    ExpectRefused(request, Ending::Refused, "--upstream-of: none of the ids given is of a feature of basins");
}

class NetworkFields : public NetworkRunFixture {};

TEST_F(NetworkFields, AddedWithTheTypesOfTheirValues)
{
    basins->AddRow({{"PFAF", 12}, {"HYBAS", 1}, {"NEXT", 0}, {"AREA", 2.5}, {"W", 1.0}});
    basins->AddRow({{"PFAF", 13}, {"HYBAS", 2}, {"NEXT", 1}, {"AREA", 1.5}, {"W", 3.0}});
    NetworkRequest request = Topology({Sum("AREA", "UP"), {Measure::Mean, "MEAN", "AREA", ""},
                                       {Measure::Min, "LOW", "AREA", ""}, {Measure::Max, "HIGH", "AREA", ""},
                                       {Measure::WeightedMean, "WM", "AREA", "W"}, Own(Measure::Count, "N"),
                                       Own(Measure::Outlet, "OUT"), Own(Measure::Moves, "MOVES"),
                                       Own(Measure::Rank, "RANK")});
    ASSERT_EQ(Run(request).ending, Ending::Finished);
    for (const char* real : {"UP", "MEAN", "LOW", "HIGH", "WM"}) {
        EXPECT_EQ(FieldType(real), host::kFieldTypeDouble) << real;
    }
    for (const char* whole : {"N", "OUT", "MOVES", "RANK"}) {
        EXPECT_EQ(FieldType(whole), host::kFieldTypeLongInteger) << whole;
    }
    EXPECT_EQ(Get(2, "UP"), Variant(1.5));
    EXPECT_EQ(Get(1, "UP"), Variant(4.0));
    EXPECT_EQ(Get(1, "WM"), Variant((2.5 * 1.0 + 1.5 * 3.0) / 4.0));
    EXPECT_EQ(Get(1, "N"), Variant(2));
    EXPECT_EQ(Get(2, "OUT"), Variant(1));
    EXPECT_EQ(Get(2, "MOVES"), Variant(1));
    EXPECT_EQ(gis.TheEditor().sessionLog, std::vector<std::string>{"saved basins.gpkg"});
    EXPECT_EQ(gis.TheEditor().UndoNames().size(), 0u);  // the session is over
}

TEST_F(NetworkFields, OutletsAsWideAsTheirIdentifiers)
{
    basins.reset();
    gis.RemoveLayer(0);
    MakeBasins(host::kFieldTypeBigInteger);
    basins->AddRow({{"HYBAS", int64_t{2000023010}}, {"NEXT", int64_t{0}}});
    basins->AddRow({{"HYBAS", int64_t{5000000000}}, {"NEXT", int64_t{2000023010}}});
    ASSERT_EQ(Run(Topology({Own(Measure::Outlet, "OUT")})).ending, Ending::Finished);
    EXPECT_EQ(FieldType("OUT"), host::kFieldTypeLongInteger);
    basins->FindRow(1)->values[static_cast<size_t>(basins->FieldIndex("HYBAS"))] = Variant(int64_t{9000000000});
    basins->FindRow(2)->values[static_cast<size_t>(basins->FieldIndex("NEXT"))] = Variant(int64_t{9000000000});
    ASSERT_EQ(Run(Topology({Own(Measure::Outlet, "OUT64")})).ending, Ending::Finished);
    EXPECT_EQ(FieldType("OUT64"), host::kFieldTypeBigInteger);
    EXPECT_EQ(Get(2, "OUT64"), Variant(int64_t{9000000000}));
    // An existing field too narrow for a value is told of, and nothing saved.
    auto before = Values();
    networkrun::NetworkOutcome outcome = Run(Topology({Own(Measure::Outlet, "OUT")}));
    EXPECT_EQ(outcome.ending, Ending::ErrorReported);
    EXPECT_EQ(outcome.message, "--outlet: OUT (of type integer) cannot hold 9000000000, the value of feature 1");
    EXPECT_EQ(Values(), before);
    EXPECT_EQ(gis.TheEditor().sessionLog.back(), "discarded basins.gpkg");
}

TEST_F(NetworkFields, CodesAndTheirOutletsWithoutIdentifiers)
{
    // 1, 2 and 3 drain into 4 ... into 9 as the run reads Pfafstetter codes;
    // a code that does not convert ends its chain.
    for (Variant code : {Variant(1), Variant(2), Variant(3), Variant(9), Variant("x7"), Variant(int64_t{1} << 40)}) {
        basins->AddRow({{"PFAF", code}});
    }
    networkrun::NetworkOutcome outcome = Run(Codes({Own(Measure::Outlet, "OUT"), Own(Measure::Count, "N")}));
    ASSERT_EQ(outcome.ending, Ending::Finished) << outcome.message;
    reference::WalkedNetwork expected = CodeReference({}, false);
    std::vector<int32_t> oids = Oids();
    for (size_t i = 0; i < oids.size(); ++i) {
        std::optional<int64_t> outlet = expected.Outlet(static_cast<int64_t>(i));
        Variant code = outlet ? Get(oids[static_cast<size_t>(*outlet)], "PFAF") : Variant::Null();
        EXPECT_EQ(Get(oids[i], "OUT"), i < 4 ? code : Variant::Null()) << i;
        EXPECT_EQ(Get(oids[i], "N"), Variant(static_cast<int32_t>(expected.UpstreamSet(static_cast<int64_t>(i)).size())));
    }
    EXPECT_EQ(outcome.closing.at(1),
              "2 codes that do not convert to whole numbers end their chains (features 5, 6)");
}

class NetworkValues : public NetworkRunFixture {
protected:
    // n basins with identifiers that sometimes repeat, next-down values that
    // name a basin, none (0, null), an unknown one or a cycle; areas and
    // weights with nulls.
    void AddRandomTopology(int n)
    {
        std::uniform_int_distribution<int> id(1, n + n / 4 + 1), kind(0, 9), area(0, 1000);
        for (int i = 0; i < n; ++i) {
            Variant next = kind(random) == 0 ? Variant(0) : kind(random) == 1 ? Variant::Null() : Variant(id(random));
            Variant a = kind(random) == 0 ? Variant::Null() : Variant(area(random) / 8.0);
            Variant w = kind(random) == 0 ? Variant::Null() : Variant(1.0 + area(random));
            basins->AddRow({{"HYBAS", id(random)}, {"NEXT", next}, {"AREA", a}, {"W", w}});
        }
    }

    std::vector<double> Column(const char* field) const
    {
        std::vector<double> values;
        for (int32_t oid : Oids()) {
            Variant v = Get(oid, field);
            values.push_back(v.IsNull() ? std::nan("") : runtime::ToDouble(v));
        }
        return values;
    }

    void ExpectEveryMeasure(const reference::WalkedNetwork& expected, const char* idField)
    {
        std::vector<double> area = Column("AREA"), weight = Column("W");
        std::vector<int32_t> oids = Oids();
        for (size_t i = 0; i < oids.size(); ++i) {
            auto basin = static_cast<int64_t>(i);
            std::string what = "basin " + std::to_string(i);
            ExpectNear(Get(oids[i], "UP"), expected.Sum(basin, area), what + " sum");
            ExpectNear(Get(oids[i], "MEAN"), expected.Mean(basin, area), what + " mean");
            ExpectNear(Get(oids[i], "LOW"), expected.Min(basin, area), what + " min");
            ExpectNear(Get(oids[i], "HIGH"), expected.Max(basin, area), what + " max");
            ExpectNear(Get(oids[i], "WM"), expected.WeightedMean(basin, area, weight), what + " weighted mean");
            bool onCycle = expected.OnOrAboveCycle(basin);
            ExpectNear(Get(oids[i], "N"),
                       onCycle ? std::nullopt : std::optional<double>(expected.UpstreamSet(basin).size()),
                       what + " count");
            ExpectNear(Get(oids[i], "MOVES"), Whole(expected.Moves(basin)), what + " moves");
            std::optional<int64_t> outlet = expected.Outlet(basin);
            EXPECT_EQ(Get(oids[i], "OUT"), outlet ? Get(oids[static_cast<size_t>(*outlet)], idField) : Variant::Null())
                << what;
            ExpectRank(expected, oids, i);
        }
    }

    // Every basin ranks after the one it drains into; none on a cycle.
    void ExpectRank(const reference::WalkedNetwork& expected, const std::vector<int32_t>& oids, size_t i)
    {
        Variant rank = Get(oids[i], "RANK");
        auto chain = expected.Chain(static_cast<int64_t>(i));
        if (!chain) {
            EXPECT_TRUE(rank.IsNull()) << i;
            return;
        }
        ASSERT_TRUE(rank.IsNumber()) << i;
        EXPECT_GE(runtime::ToLongLong(rank), 0);
        if (chain->size() > 1) {
            EXPECT_GT(runtime::ToLongLong(rank), runtime::ToLongLong(Get(oids[static_cast<size_t>((*chain)[1])], "RANK")))
                << i;
        }
    }

    static std::vector<OutputField> EveryMeasure(const char* source)
    {
        return {Sum(source, "UP"), {Measure::Mean, "MEAN", source, ""}, {Measure::Min, "LOW", source, ""},
                {Measure::Max, "HIGH", source, ""}, {Measure::WeightedMean, "WM", source, "W"},
                Own(Measure::Count, "N"), Own(Measure::Outlet, "OUT"), Own(Measure::Moves, "MOVES"),
                Own(Measure::Rank, "RANK")};
    }
};

TEST_F(NetworkValues, RandomTopologiesAgainstTheirChainsWalked)
{
    for (int round = 0; round < 30; ++round) {
        SCOPED_TRACE(round);
        gis.RemoveLayer(0);
        MakeBasins(host::kFieldTypeLongInteger);
        AddRandomTopology(1 + round * 2);
        networkrun::NetworkOutcome outcome = Run(Topology(EveryMeasure("AREA")));
        ASSERT_EQ(outcome.ending, Ending::Finished) << outcome.message;
        reference::WalkedNetwork expected = TopologyReference();
        ExpectEveryMeasure(expected, "HYBAS");
        size_t onCycles = 0;
        for (size_t i = 0; i < expected.Size(); ++i) {
            onCycles += expected.OnOrAboveCycle(static_cast<int64_t>(i));
        }
        bool told = std::any_of(outcome.closing.begin(), outcome.closing.end(), [&](const std::string& line) {
            return line.rfind(std::to_string(onCycles) + (onCycles == 1 ? " basin on" : " basins on"), 0) == 0;
        });
        EXPECT_EQ(told, onCycles > 0);
    }
}

TEST_F(NetworkValues, RandomCodesAgainstTheCommandsNextDownCodes)
{
    std::uniform_int_distribution<int> digits(1, 4), digit(0, 9), kind(0, 19);
    for (int round = 0; round < 30; ++round) {
        SCOPED_TRACE(round);
        gis.RemoveLayer(0);
        MakeBasins(host::kFieldTypeLongInteger);
        for (int i = 0; i < 1 + round * 2; ++i) {
            int code = 0;
            for (int d = digits(random); d > 0; --d) {
                code = code * 10 + (digit(random) % 4 == 0 ? digit(random) : 1 + digit(random) % 3);
            }
            Variant pfaf = kind(random) == 0 ? Variant::Null() : kind(random) == 1 ? Variant(-code) : Variant(code);
            basins->AddRow({{"PFAF", pfaf}, {"AREA", Variant(1.0 + i)}, {"W", Variant(2.0)}});
        }
        command::RunOptions options;
        bool trailingZeros = round % 2 == 1;
        options.zerosUnsubdivided = round % 3 == 2 && !trailingZeros;
        NetworkRequest request = Codes(EveryMeasure("AREA"));
        request.options = options;
        request.allowTrailingZeros = trailingZeros;
        networkrun::NetworkOutcome outcome = Run(request);
        ASSERT_EQ(outcome.ending, Ending::Finished) << outcome.message;
        ExpectEveryMeasure(CodeReference(options, trailingZeros), "PFAF");
    }
}

TEST_F(NetworkValues, ASelectionIsWrittenAloneOverTheNetworkOfEveryFeature)
{
    AddRandomTopology(40);
    basins->selection = {3, 4, 17, 40};
    ASSERT_EQ(Run(Topology(EveryMeasure("AREA"))).ending, Ending::Finished);
    reference::WalkedNetwork expected = TopologyReference();
    for (int32_t oid : Oids()) {
        if (basins->selection.count(oid) == 0) {
            EXPECT_TRUE(Get(oid, "N").IsNull()) << oid;
            EXPECT_TRUE(Get(oid, "UP").IsNull()) << oid;
        }
    }
    std::vector<double> area = Column("AREA");
    for (int32_t oid : basins->selection) {
        ExpectNear(Get(oid, "UP"), expected.Sum(oid - 1, area), "selected " + std::to_string(oid));
    }
    EXPECT_EQ(gis.Faults().Calls("IRow.Store"), 4);
}

TEST_F(NetworkValues, TheClosingLinesCountWhatWasLeftOut)
{
    // 1 <- 2; 3 <-> 4 a cycle with 5 above it; 6 repeats 1's identifier; 7's
    // next-down does not convert.
    basins->AddRow({{"HYBAS", 10}, {"NEXT", 0}});
    basins->AddRow({{"HYBAS", 20}, {"NEXT", 10}});
    basins->AddRow({{"HYBAS", 30}, {"NEXT", 40}});
    basins->AddRow({{"HYBAS", 40}, {"NEXT", 30}});
    basins->AddRow({{"HYBAS", 50}, {"NEXT", 40}});
    basins->AddRow({{"HYBAS", 10}, {"NEXT", 20}});
    basins->AddRow({{"HYBAS", 70}, {"NEXT", "up"}});
    networkrun::NetworkOutcome outcome = Run(Topology({Own(Measure::Count, "N")}));
    ASSERT_EQ(outcome.ending, Ending::Finished);
    EXPECT_EQ(outcome.closing,
              (std::vector<std::string>{"Wrote N into 7 of 7 basins (2 outlets)",
                                        "3 basins on or upstream of a cycle got no value (features 3, 4, 5)",
                                        "1 identifiers or next-down values that do not convert to whole numbers end "
                                        "their chains (features 7)",
                                        "1 basin repeat the identifier of a basin read before; none drains into them"}));
    EXPECT_EQ(Get(1, "N"), Variant(3));  // 2 and 6, which drains into 2
    EXPECT_TRUE(Get(5, "N").IsNull());
}

class NetworkQueries : public NetworkValues {};

TEST_F(NetworkQueries, UpstreamAndDownstreamSetsAgainstTheirDefinitions)
{
    AddRandomTopology(60);
    reference::WalkedNetwork expected = TopologyReference();
    auto before = Values();
    for (int64_t of : {1, 7, 33, 60}) {
        for (auto direction : {networkrun::Direction::Upstream, networkrun::Direction::Downstream}) {
            NetworkRequest request = Topology({});
            request.query = networkrun::Query{direction, {of, 999}};
            networkrun::NetworkOutcome outcome = Run(request);
            ASSERT_EQ(outcome.ending, Ending::Finished);
            std::vector<int32_t> wanted;
            for (int64_t basin = 0; basin < static_cast<int64_t>(expected.Size()); ++basin) {
                // Upstream: of is on the basin's chain; downstream: the basin
                // is on of's way down.
                std::vector<int64_t> walked = expected.WalkedFrom(direction == networkrun::Direction::Upstream ? basin : of - 1);
                int64_t sought = direction == networkrun::Direction::Upstream ? of - 1 : basin;
                bool cycleAbove = direction == networkrun::Direction::Upstream && basin != of - 1 &&
                                  (expected.OnOrAboveCycle(basin) || expected.OnOrAboveCycle(of - 1));
                if (!cycleAbove && std::find(walked.begin(), walked.end(), sought) != walked.end()) {
                    wanted.push_back(static_cast<int32_t>(basin + 1));
                }
            }
            EXPECT_EQ(outcome.found, wanted) << of;
            EXPECT_EQ(outcome.notes, std::vector<std::string>{
                                         std::string(direction == networkrun::Direction::Upstream ? "--upstream-of"
                                                                                                   : "--downstream-of") +
                                         ": 1 of the ids given are of no feature of basins; the run goes on with the 1 "
                                         "that are"});
        }
    }
    EXPECT_EQ(Values(), before);
    EXPECT_TRUE(gis.TheEditor().sessionLog.empty());
}

class NetworkInterruptions : public NetworkValues {
protected:
    void SetUp() override
    {
        NetworkValues::SetUp();
        Rebuild();
    }

    // The same 12 basins afresh, UP holding what was there before.
    void Rebuild()
    {
        gis.RemoveLayer(0);
        MakeBasins(host::kFieldTypeLongInteger);
        random.seed(12);
        AddRandomTopology(12);
        basins->AddField({"UP", host::kFieldTypeDouble});
        for (int32_t oid : Oids()) {
            basins->FindRow(oid)->values.back() = Variant(-1.0);
        }
        gis.Faults().Clear();
        sessionsBefore = gis.TheEditor().sessionLog.size();
    }
    size_t sessionsBefore = 0;

    void ExpectNothingSaved(const std::vector<std::vector<Variant>>& before, size_t fieldsBefore)
    {
        // A field added before the session stays, empty.
        for (size_t field = fieldsBefore; field < basins->Fields().size(); ++field) {
            for (int32_t oid : Oids()) {
                EXPECT_TRUE(Get(oid, basins->Fields()[field].name).IsNull());
            }
        }
        for (size_t row = 0; row < before.size(); ++row) {
            std::vector<Variant> kept(basins->Rows()[row].values.begin(),
                                      basins->Rows()[row].values.begin() + static_cast<long>(fieldsBefore));
            EXPECT_EQ(kept, before[row]) << row;
        }
        const auto& log = gis.TheEditor().sessionLog;
        EXPECT_EQ(std::count(log.begin() + static_cast<long>(sessionsBefore), log.end(), "saved basins.gpkg"), 0);
        EXPECT_EQ(gis.TheEditor().EditState(), host::kEditStateNotEditing);
        EXPECT_FALSE(gis.TheStatusBar().progressVisible);
    }
};

TEST_F(NetworkInterruptions, ACancelAtAnyStepSavesNothing)
{
    auto before = Values();
    size_t fields = basins->Fields().size();
    // 12 rows read, the network built, 12 written: a cancel at every one.
    for (int at = 1; at <= 26; ++at) {
        SCOPED_TRACE(at);
        Rebuild();
        gis.Config().continueCalls = 0;
        gis.Config().cancelAtContinue = at;
        networkrun::NetworkOutcome outcome = Run(Topology({Sum("AREA", "UP"), Own(Measure::Count, "N")}));
        if (outcome.ending == Ending::Finished) {
            EXPECT_GT(at, 24);
            break;
        }
        EXPECT_EQ(outcome.ending, Ending::Cancelled);
        ExpectNothingSaved(before, fields);
    }
}

TEST_F(NetworkInterruptions, AnErrorAtAnyHostCallSavesNothing)
{
    auto before = Values();
    size_t fields = basins->Fields().size();
    for (const char* operation : {"ICursor.NextRow", "IRow.Value", "IRow.SetValue", "IRow.Store", "IFeatureClass.AddField",
                                  "IEditor.StartOperation", "IEditor.StopOperation", "IStepProgressor.Step"}) {
        for (int call : {1, 5, 13}) {
            SCOPED_TRACE(std::string(operation) + " " + std::to_string(call));
            Rebuild();
            gis.Faults().FailAt(operation, call, runtime::kHostCallFailed, "The disk is full");
            networkrun::NetworkOutcome outcome = Run(Topology({Sum("AREA", "UP"), Own(Measure::Count, "N")}));
            if (outcome.ending == Ending::Finished) {
                EXPECT_GT(gis.Faults().Calls(operation), 0);
                EXPECT_LT(gis.Faults().Calls(operation), call);
                continue;
            }
            EXPECT_EQ(outcome.ending, Ending::ErrorReported);
            EXPECT_EQ(outcome.message, "The disk is full");
            ExpectNothingSaved(before, fields);
        }
    }
}

TEST_F(NetworkInterruptions, ProgressCountsTheRowsReadAndWritten)
{
    basins->selection = {2, 5};
    ASSERT_EQ(Run(Topology({Own(Measure::Count, "N")})).ending, Ending::Finished);
    const auto& calls = gis.TheStatusBar().calls;
    auto has = [&](const std::string& call) { return std::find(calls.begin(), calls.end(), call) != calls.end(); };
    EXPECT_TRUE(has("MaxRange 12"));
    EXPECT_TRUE(has("Message Reading basins 12.. Hit Esc to Cancel"));
    EXPECT_FALSE(has("Message Reading basins 13.. Hit Esc to Cancel"));
    EXPECT_TRUE(has("MaxRange 2"));
    EXPECT_TRUE(has("Message Writing fields 2.. Hit Esc to Cancel"));
    EXPECT_FALSE(has("Message Writing fields 3.. Hit Esc to Cancel"));
    EXPECT_EQ(calls.back(), "Hide");
}
