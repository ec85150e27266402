#include "request/RunOptionTable.h"

#include <algorithm>

namespace drennow::request {

namespace {

const char* const kAnswers = "Answers:";
const char* const kLargeSets = "Large and differently coded data sets:";
const char* const kSelection = "Selection (without one, every feature is written):";
const char* const kOther = "Other:";

const std::vector<RunOption> kTable{
    {"--trailing-zeros", "trailing_zeros", "yes|no", host::Prompt::TrailingZeros, kAnswers,
     "allow trailing zeros in Pfafstetter codes",
     [](CommandLine& l, const std::string& v) { l.answers.trailingZeros = values::YesOrNo("--trailing-zeros", v); }},
    {"--layer", "layer", "NAME", host::Prompt::Layer, kAnswers, "the watershed layer",
     [](CommandLine& l, const std::string& v) {
         l.answers.layer = v;
         l.selection.layer = v;
     }},
    {"--pfaf-field", "pfaf_field", "NAME", host::Prompt::PfafField, kAnswers, "the Pfafstetter code field",
     [](CommandLine& l, const std::string& v) { l.answers.pfafField = v; }},
    {"--level", "level", "N", host::Prompt::Level, kAnswers, "the Pfafstetter level (1-9)",
     [](CommandLine& l, const std::string& v) { l.answers.level = values::Level(v); }},
    {"--populate", "populate", "pfaf|id", host::Prompt::Populate, kAnswers,
     "write downstream Pfafstetter codes or identifiers",
     [](CommandLine& l, const std::string& v) {
         l.answers.populatePfaf = values::OneOf<bool>("--populate", v, {{"pfaf", true}, {"id", false}});
     }},
    {"--id-field", "id_field", "NAME", host::Prompt::IdField, kAnswers, "the identifier field (with --populate id)",
     [](CommandLine& l, const std::string& v) { l.answers.idField = v; }},
    {"--save-edits", "save_edits", "yes|no|cancel", host::Prompt::SaveEdits, kAnswers,
     "pending edits of another edit session",
     [](CommandLine& l, const std::string& v) {
         l.answers.saveEdits = values::OneOf<host::MessageAnswer>(
             "--save-edits", v, {{"yes", host::kAnswerYes}, {"no", host::kAnswerNo}, {"cancel", host::kAnswerCancel}});
     }},
    {"--int64", "int64", nullptr, std::nullopt, kLargeSets,
     "codes and identifiers as 64-bit integers: codes\n"
     "of up to 19 digits, levels 1-19; NextDownID, when\n"
     "added, is a 64-bit integer field",
     [](CommandLine& l, const std::string&) { l.options.int64 = true; }},
    {"--zeros", "zeros", "closed|unsubdivided", std::nullopt, kLargeSets,
     "a 0 digit marks a closed basin (the default), or\n"
     "a unit not subdivided at its level, as HydroBASINS\n"
     "writes its codes (no trailing-zeros question then)",
     [](CommandLine& l, const std::string& v) {
         l.options.zerosUnsubdivided = values::ZerosUnsubdivided(v);
     }},
    {"--compare-with", "compare_with", "FIELD", std::nullopt, kLargeSets,
     "after the run, compare NextDownID with FIELD (such\n"
     "as HydroBASINS' NEXT_DOWN): prints the agreement\n"
     "and lists the differences in Drennow-compare.log",
     [](CommandLine& l, const std::string& v) { l.options.compareWith = v; }},
    {"--where", "where", "SQL", std::nullopt, kSelection,
     "the features that match an attribute filter, in\n"
     "the SQL of the dataset (its database's, if any)",
     [](CommandLine& l, const std::string& v) { l.selection.where = values::Filter(v); }},
    {"--fid", "fid", "LIST", std::nullopt, kSelection, "features by id, as in 1,5,9-12",
     [](CommandLine& l, const std::string& v) { l.selection.fids = values::FidList("--fid", v); }},
    {"--log-dir", "log_dir", "DIR", std::nullopt, kOther, "write Drennow.log into DIR",
     [](CommandLine& l, const std::string& v) { l.logFolder = v; }},
    {"--batch", nullptr, nullptr, std::nullopt, kOther,
     "never wait for input (so too when stdin is not a\n"
     "terminal): every question takes its default; a\n"
     "list with no entry of a name the run looks for\n"
     "must be answered by its option",
     [](CommandLine& l, const std::string&) { l.batch = true; }},
    {"--help", nullptr, nullptr, std::nullopt, kOther, "", [](CommandLine& l, const std::string&) { l.help = true; }},
    {"--version", nullptr, nullptr, std::nullopt, kOther, "",
     [](CommandLine& l, const std::string&) { l.version = true; }},
};

const char* const kUsageHeading =
    "Usage: drennow [options] DATASET...\n"
    "\n"
    "Fills NextDownID of the watershed polygons of a GeoPackage, Shapefile, SQLite\n"
    "or PostgreSQL layer (PG:\"dbname=...\") from their Pfafstetter codes. The map is\n"
    "every layer of the datasets given; the failure log Drennow.log goes beside the\n"
    "first one. Each question of the run can be answered by an option; the others\n"
    "are asked on the terminal, or take their default in batch mode.\n"
    "\n";

const char* const kUsageClosing =
    "\n"
    "While the run works, and at its questions, Esc, Ctrl-C, SIGTERM or SIGHUP\n"
    "cancels it; nothing is then saved. Ctrl-D at a question declines it. Error\n"
    "reports and check messages go to stderr.\n"
    "\n";

const RunOption* OptionOfKeyword(const std::string& keyword)
{
    auto found = std::find_if(kTable.begin(), kTable.end(),
                              [&](const RunOption& o) { return o.keyword != nullptr && keyword == o.keyword; });
    return found == kTable.end() ? nullptr : &*found;
}

}  // namespace

const std::vector<RunOption>& RunOptionTable()
{
    return kTable;
}

const char* OptionAnswering(host::Prompt question)
{
    auto found = std::find_if(kTable.begin(), kTable.end(), [&](const RunOption& o) { return o.question == question; });
    return found == kTable.end() ? "an answer" : found->name;
}

std::string Usage()
{
    return kUsageHeading + OptionLines(kTable) + kUsageClosing + ExitStatusLines();
}

CommandLine ParseCommandLine(const std::vector<std::string>& words)
{
    CommandLine line;
    ParseWords(kTable, words, line);
    if (!line.help && !line.version) {
        CheckRequest(line);
    }
    return line;
}

namespace {

void SetFromKeyword(CommandLine& line, const RunOption& option, const KeywordValue& value)
{
    if (const auto* yes = std::get_if<bool>(&value)) {
        if (option.value == nullptr) {
            return *yes ? option.set(line, "") : void();
        }
        if (std::string(option.value) == "yes|no") {
            return option.set(line, *yes ? "yes" : "no");
        }
    } else if (const auto* text = std::get_if<std::string>(&value); text && option.value != nullptr) {
        return option.set(line, *text);
    } else if (const auto* ids = std::get_if<std::vector<int64_t>>(&value); ids && std::string(option.name) == "--fid") {
        values::CheckIdCount("--fid", ids->size());
        line.selection.fids = *ids;
        return;
    }
    throw RequestError(std::string(option.keyword) + ": not a value " + option.name + " takes");
}

}  // namespace

CommandLine RequestFromKeywords(const std::vector<std::string>& datasets,
                                const std::vector<std::pair<std::string, KeywordValue>>& keywords)
{
    CommandLine line;
    line.batch = true;
    line.datasets = datasets;
    for (const auto& [keyword, value] : keywords) {
        const RunOption* option = OptionOfKeyword(keyword);
        if (option == nullptr) {
            throw RequestError("unknown keyword " + keyword);
        }
        SetFromKeyword(line, *option, value);
    }
    CheckRequest(line);
    return line;
}

}  // namespace drennow::request
