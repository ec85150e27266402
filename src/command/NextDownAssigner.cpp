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

void NextDownAssigner::PrefetchIdentifier(int64_t code) const
{
    if (ids_ && code > 0) {
        if (int64_t next = index_.GetNextDownCode(code); next > 0) {
            ids_->Prefetch(next);
        }
    }
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

std::vector<Assigned> AssignLayer(const std::vector<Variant>& codes, const std::vector<Variant>* ids,
                                  const RunOptions& options, bool allowTrailingZeros)
{
    if (ids && ids->size() != codes.size()) {
        throw std::invalid_argument("as many identifiers as codes are needed");
    }
    const ValueAt idAt = [ids](size_t i) { return (*ids)[i]; };
    std::vector<Assigned> answers;
    answers.reserve(codes.size());
    AssignLayer(
        codes.size(), [&codes](size_t i) { return codes[i]; }, ids ? &idAt : nullptr, options, allowTrailingZeros,
        [&answers](size_t, Assigned&& answer) { answers.push_back(std::move(answer)); });
    return answers;
}

void AssignLayer(size_t count, const ValueAt& codeAt, const ValueAt* idAt, const RunOptions& options,
                 bool allowTrailingZeros, const std::function<void(size_t, Assigned&&)>& take)
{
    PfafCodeList list(CodeWidthOf(options));
    for (size_t i = 0; i < count; ++i) {
        if (Variant code = codeAt(i); !code.IsNull()) {
            list.Add(code);
        }
    }
    list.SortDescending();
    runtime::Collection filed;
    if (idAt) {
        filed.Reserve(count);
        for (size_t i = 0; i < count; ++i) {
            try {
                modPfafTools::AddUnderKeyText(filed, (*idAt)(i), codeAt(i));
            } catch (const std::exception&) {
                // The first feature of a code keeps it, as in the run.
            }
        }
    }
    modPfafTools::NextDownIndex index = list.BuildIndex(ZeroReadingOf(options), allowTrailingZeros);
    NextDownAssigner assigner(index, idAt ? &filed : nullptr, options);
    for (size_t i = 0; i < count; ++i) {
        take(i, assigner.Assign(codeAt(i)));
    }
}

}  // namespace drennow::command
