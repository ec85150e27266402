// The pass's answers for a list of codes, asked without a layer, are the
// values and failure lines the run itself writes.
#include "RunFixture.h"

#include "command/NextDownAssigner.h"

#include <algorithm>
#include <random>

using namespace drennow;
using namespace drennow::fixtures;
using command::Assigned;
using command::AssignLayer;
using command::RunOptions;

namespace {

std::vector<Variant> Values(std::initializer_list<int64_t> numbers)
{
    std::vector<Variant> values;
    for (int64_t number : numbers) {
        values.emplace_back(static_cast<int32_t>(number));
    }
    return values;
}

}  // namespace

TEST(AssignLayer, FailuresCarryTheRunsCodesAndTexts)
{
    std::vector<Variant> codes = {Variant::Null(), Variant(0), Variant(1231), Variant(1233), Variant(1231)};
    std::vector<Assigned> answers = AssignLayer(codes, nullptr, RunOptions{}, false);
    ASSERT_EQ(answers.size(), codes.size());
    EXPECT_EQ(answers[0].failure->code, -6);
    EXPECT_EQ(answers[0].failure->description, "Pfafstetter ID is <Null>");
    EXPECT_EQ(answers[1].failure->code, -8);
    EXPECT_EQ(answers[1].failure->description, "Basin drains internally");
    EXPECT_EQ(runtime::ToLong(answers[0].value), -6);
    EXPECT_FALSE(answers[3].failure);
    EXPECT_EQ(runtime::ToLong(answers[3].value), 1231);
    ASSERT_TRUE(answers[2].failure);
    EXPECT_EQ(answers[2].failure->description, command::DescribeFailureCode(answers[2].failure->code));
}

TEST(AssignLayer, TheIdentifierOfTheFirstFeatureOfACodeIsWritten)
{
    std::vector<Variant> codes = Values({1231, 1233, 1231, 1234});
    std::vector<Variant> ids = {Variant(11), Variant(12), Variant(13), Variant::Null()};
    std::vector<Assigned> answers = AssignLayer(codes, &ids, RunOptions{}, false);
    EXPECT_EQ(runtime::ToLong(answers[1].value), 11);
    EXPECT_EQ(runtime::ToLong(answers[3].value), 12);
    EXPECT_FALSE(answers[3].failure);
    // A downstream feature without identifier is the run's error 94.
    std::vector<Variant> nullDownstream = {Variant::Null(), Variant(12), Variant(13), Variant(14)};
    try {
        AssignLayer(codes, &nullDownstream, RunOptions{}, false);
        FAIL() << "a null identifier was written";
    } catch (const runtime::Error& error) {
        EXPECT_EQ(error.Number(), runtime::kInvalidUseOfNull);
    }
    std::vector<Variant> tooFew = {Variant(1)};
    EXPECT_THROW(AssignLayer(codes, &tooFew, RunOptions{}, false), std::invalid_argument);
}

TEST(AssignLayer, ValuesOfTheWidthAskedForAndConversionErrorsRaised)
{
    RunOptions wide;
    wide.int64 = true;
    std::vector<Variant> codes = {Variant(int64_t{4123456787}), Variant(int64_t{4123456789})};
    std::vector<Variant> ids = {Variant(int64_t{7000000001}), Variant(int64_t{7000000002})};
    std::vector<Assigned> answers = AssignLayer(codes, &ids, wide, false);
    EXPECT_EQ(runtime::ToLongLong(answers[1].value), 7000000001);
    try {
        AssignLayer(codes, nullptr, RunOptions{}, false);
        FAIL() << "a 12-digit code fits no 32-bit run";
    } catch (const runtime::Error& error) {
        EXPECT_EQ(error.Number(), runtime::kOverflow);
    }
    EXPECT_THROW(AssignLayer({Variant("45x")}, nullptr, RunOptions{}, false), runtime::Error);
}

// A caller stops the pass through its checkpoint at every stage: reading
// the codes, sorting them, filing the index and the identifiers, the pass.
TEST(AssignLayer, TheCheckpointIsPassedThroughoutAndStopsThePassWhereItThrows)
{
    struct Stop {};
    std::mt19937 random(23);
    std::vector<Variant> codes;
    std::vector<Variant> ids;
    for (int32_t i = 0; i < 200000; ++i) {
        codes.emplace_back(static_cast<int32_t>(10000000 + random() % 90000000));
        ids.emplace_back(i + 1);
    }
    auto codeAt = [&codes](size_t i) { return codes[i]; };
    auto idAt = [&ids](size_t i) { return ids[i]; };
    size_t checks = 0;
    std::optional<size_t> checksBeforeThePass;
    const runtime::Checkpoint counting([&checks] { ++checks; });
    command::AssignLayer(
        codes.size(), codeAt, idAt, RunOptions{}, false,
        [&](size_t, Assigned&&) { checksBeforeThePass = checksBeforeThePass.value_or(checks); }, counting);
    size_t beforeThePass = checksBeforeThePass.value();
    // Sorting alone compares every code many times.
    EXPECT_GT(beforeThePass, 3 * codes.size() / 4096);
    EXPECT_GT(checks, beforeThePass + codes.size() / 4096 - 1);

    // Each check in turn stops the work; nothing is taken before the pass.
    for (size_t stopAt : {size_t{1}, beforeThePass / 3, beforeThePass - 1, checks}) {
        size_t seen = 0;
        size_t answers = 0;
        const runtime::Checkpoint stopping([&] {
            if (++seen == stopAt) {
                throw Stop{};
            }
        });
        EXPECT_THROW(command::AssignLayer(codes.size(), codeAt, idAt, RunOptions{}, false,
                                          [&](size_t, Assigned&&) { ++answers; }, stopping),
                     Stop);
        EXPECT_EQ(seen, stopAt);
        EXPECT_LT(answers, codes.size());
    }
    // Without a check the answers are the same.
    std::vector<Assigned> plain = AssignLayer(codes, &ids, RunOptions{}, false);
    size_t same = 0;
    command::AssignLayer(codes.size(), codeAt, idAt, RunOptions{}, false,
                         [&](size_t i, Assigned&& answer) { same += answer.value == plain[i].value; }, counting);
    EXPECT_EQ(same, codes.size());
}

// Asked at a position, the assigner first looks ahead in read order; the
// searches it makes ahead, and the slots they share, never change an answer,
// whichever positions a caller asks at and in whatever order.
TEST(NextDownAssigner, AnswersAtAPositionAreTheAnswersOfTheCode)
{
    std::mt19937 random(41);
    std::vector<Variant> codes;
    std::vector<Variant> ids;
    for (int32_t i = 0; i < 5000; ++i) {
        int32_t kind = static_cast<int32_t>(random() % 50);
        codes.push_back(kind == 0 ? Variant::Null() : Variant(static_cast<int32_t>(1000 + random() % 9000)));
        ids.emplace_back(100000 + i);
    }
    RunOptions options;
    const command::ValueAt codeAt = [&codes](size_t i) { return codes[i]; };
    const command::ValueAt idAt = [&ids](size_t i) { return ids[i]; };
    const command::NextDownAssigner assigner(codes.size(), codeAt, idAt, options, false);
    std::vector<size_t> positions(codes.size());
    for (size_t i = 0; i < positions.size(); ++i) {
        positions[i] = i;
    }
    std::vector<size_t> shuffled = positions;
    std::shuffle(shuffled.begin(), shuffled.end(), random);
    size_t found = 0;
    for (const std::vector<size_t>* order : {&positions, &shuffled}) {
        for (size_t i : *order) {
            Assigned ahead = assigner.AssignAt(i, codes[i]);
            Assigned plain = assigner.Assign(codes[i]);
            ASSERT_EQ(ahead.value, plain.value) << "position " << i;
            ASSERT_EQ(ahead.failure.has_value(), plain.failure.has_value()) << "position " << i;
            found += !plain.failure;
        }
    }
    // Most codes of four digits find a downstream basin among 5,000.
    EXPECT_GT(found, codes.size());
    // Every answer is the identifier of the first feature of the code the
    // search gives.
    std::vector<Assigned> asCodes = AssignLayer(codes, nullptr, options, false);
    for (size_t i = 0; i < codes.size(); ++i) {
        if (asCodes[i].failure) {
            continue;
        }
        auto first = std::find(codes.begin(), codes.end(), asCodes[i].value);
        ASSERT_NE(first, codes.end());
        EXPECT_EQ(assigner.Assign(codes[i]).value, ids[static_cast<size_t>(first - codes.begin())]) << i;
    }
}

// AssignLayer: the same NextDownID everywhere and the same log.
class AssignLayerAgainstTheRun : public RunFixture {
protected:
    std::vector<Variant> RandomCodes(std::mt19937& random)
    {
        std::uniform_int_distribution<int> digit(0, 9);
        std::uniform_int_distribution<int> kind(0, 40);
        std::vector<Variant> codes;
        for (int i = 0; i < 300; ++i) {
            int which = kind(random);
            if (which == 0) {
                codes.push_back(Variant::Null());
            } else if (which == 1) {
                codes.emplace_back(0);
            } else {
                int code = 1 + digit(random) % 9;
                for (int d = 1; d < 4; ++d) {
                    code = code * 10 + (digit(random) < 3 ? 0 : digit(random));
                }
                codes.emplace_back(code);
            }
        }
        return codes;
    }
};

TEST_F(AssignLayerAgainstTheRun, EveryValueAndFailureLineIsTheRunsOwn)
{
    std::mt19937 random(20261208);
    for (int round = 0; round < 8; ++round) {
        SCOPED_TRACE(round);
        bool populateWithCodes = round % 2 == 0;
        bool trailingZeros = round % 4 < 2;
        RunOptions options;
        options.zerosUnsubdivided = round >= 4;
        gis = memory::MemoryGis();
        gis.Config().templates = {"Normal.mxt", (folder / "basins.mxd").string()};
        workspace = gis.NewWorkspace("basins.gdb");
        command = command::CreateCommand("Drennow.clsDrennow");
        command->OnCreate(gis.Application());
        dynamic_cast<command::clsDrennow&>(*command).SetRunOptions(options);
        MakeBasins();
        std::vector<Variant> codes = RandomCodes(random);
        std::vector<int32_t> oids = AddBasins(codes);
        std::vector<Variant> ids;
        for (int32_t oid : oids) {
            ids.push_back(basins->Get(oid, "HydroID"));
        }
        if (!options.zerosUnsubdivided) {
            gis.Ui().Queue(trailingZeros ? kAnswerYes : kAnswerNo);
        }
        gis.Ui().Queue(Pick("Watershed"));
        gis.Ui().Queue(Pick("PfafstetterID"));
        gis.Ui().Queue(std::string("4"));
        gis.Ui().Queue(populateWithCodes ? kAnswerYes : kAnswerNo);
        if (!populateWithCodes) {
            gis.Ui().Queue(Pick("HydroID"));
        }
        ASSERT_EQ(Click(), command::RunOutcome::Completed);

        std::vector<Assigned> answers = AssignLayer(codes, populateWithCodes ? nullptr : &ids, options,
                                                    trailingZeros && !options.zerosUnsubdivided);
        std::string lines;
        for (size_t i = 0; i < oids.size(); ++i) {
            EXPECT_EQ(runtime::ToLongLong(NextDown(oids[i])), runtime::ToLongLong(answers[i].value)) << "feature " << oids[i];
            if (answers[i].failure) {
                lines += command::FailureLine({oids[i], answers[i].failure->code, answers[i].failure->description}) +
                         "\r\n";
            }
        }
        std::optional<std::string> log = ReadLog();
        ASSERT_TRUE(log);
        EXPECT_NE(log->find(lines), std::string::npos) << *log;
    }
}
