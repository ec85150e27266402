#include "command/NextDownAssigner.h"

#include "command/PfafCodeList.h"
#include "pfaf/BuildIdCollection.h"

#include <stdexcept>

namespace drennow::command {

using runtime::Variant;

modPfafTools::CodeWidth CodeWidthOf(const RunOptions& options)
{
    return options.int64 ? modPfafTools::CodeWidth::k64Bit : modPfafTools::CodeWidth::k32Bit;
}

modPfafTools::ZeroReading ZeroReadingOf(const RunOptions& options)
{
    return options.zerosUnsubdivided ? modPfafTools::ZeroReading::kUnsubdivided
                                     : modPfafTools::ZeroReading::kClosedBasin;
}

NextDownAssigner::NextDownAssigner(const modPfafTools::NextDownIndex& index, const runtime::Collection* ids,
                                   const RunOptions& options)
    : index_(index), ids_(ids), int64_(options.int64)
{
}

Assigned NextDownAssigner::Assign(const Variant& code) const
{
    auto fail = [](const Variant& value, const std::string& description) {
        return Assigned{value, Assigned::Failure{runtime::ToLong(value), description}};
    };
    if (code.IsNull()) {
        return fail(Variant(kNullCodeFailure.code), kNullCodeFailure.text);
    }
    int64_t basin = WholeNumber(code);
    if (basin == 0) {
        return fail(Variant(kZeroCodeFailure.code), kZeroCodeFailure.text);
    }
    int64_t next = index_.GetNextDownCode(basin);
    if (next <= 0) {
        return fail(Variant(static_cast<int32_t>(next)), DescribeFailureCode(static_cast<int32_t>(next)));
    }
    if (!ids_) {
        return Assigned{AsWritten(next), std::nullopt};
    }
    // The item under the decimal text of the code, looked up once.
    std::optional<Variant> id = ids_->Find(next);
    if (!id) {
        return fail(Variant(kMissingIdFailure.code), kMissingIdFailure.text);
    }
    return Assigned{AsWritten(WholeNumber(*id)), std::nullopt};
}

int64_t NextDownAssigner::WholeNumber(const Variant& value) const
{
    return int64_ ? runtime::ToLongLong(value) : runtime::ToLong(value);
}

Variant NextDownAssigner::AsWritten(int64_t number) const
{
    return int64_ ? Variant(number) : Variant(static_cast<int32_t>(number));
}

std::string FailureLine(int32_t objectId, int32_t code, const std::string& description)
{
    return std::to_string(objectId) + "\t" + std::to_string(code) + "\t" + description;
}

namespace {

modPfafTools::NextDownIndex IndexOf(const std::vector<Variant>& codes, const RunOptions& options,
                                    bool allowTrailingZeros)
{
    PfafCodeList list(CodeWidthOf(options));
    for (const Variant& code : codes) {
        if (!code.IsNull()) {
            list.Add(code);
        }
    }
    list.SortDescending();
    return list.BuildIndex(ZeroReadingOf(options), allowTrailingZeros);
}

runtime::Collection Filed(const std::vector<Variant>& codes, const std::vector<Variant>* ids)
{
    runtime::Collection filed;
    if (!ids) {
        return filed;
    }
    if (ids->size() != codes.size()) {
        throw std::invalid_argument("as many identifiers as codes are needed");
    }
    filed.Reserve(codes.size());
    for (size_t i = 0; i < codes.size(); ++i) {
        try {
            modPfafTools::AddUnderKeyText(filed, (*ids)[i], codes[i]);
        } catch (const std::exception&) {
            // The first feature of a code keeps it, as in the run.
        }
    }
    return filed;
}

}  // namespace

LayerAssigner::LayerAssigner(const std::vector<Variant>& codes, const std::vector<Variant>* ids,
                             const RunOptions& options, bool allowTrailingZeros)
    : index_(IndexOf(codes, options, allowTrailingZeros)),
      filed_(Filed(codes, ids)),
      assigner_(index_, ids ? &filed_ : nullptr, options)
{
}

std::vector<Assigned> AssignLayer(const std::vector<Variant>& codes, const std::vector<Variant>* ids,
                                  const RunOptions& options, bool allowTrailingZeros)
{
    LayerAssigner assigner(codes, ids, options, allowTrailingZeros);
    std::vector<Assigned> answers;
    answers.reserve(codes.size());
    for (const Variant& code : codes) {
        answers.push_back(assigner.Assign(code));
    }
    return answers;
}

}  // namespace drennow::command
