#include "command/NextDownAssigner.h"

#include "command/PfafCodeList.h"
#include "pfaf/BuildIdCollection.h"
#include "runtime/Error.h"

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
    int64_t next = NextDownCode(basin);
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

bool NextDownAssigner::Converts(const Variant& code) const
{
    if (code.IsNull()) {
        return true;
    }
    try {
        WholeNumber(code);
        return true;
    } catch (const runtime::Error&) {
        return false;
    }
}

std::optional<Variant> NextDownAssigner::DownstreamId(const Variant& code) const
{
    if (code.IsNull() || !ids_) {
        return std::nullopt;
    }
    int64_t next = NextDownCode(WholeNumber(code));
    return next > 0 ? ids_->Find(next) : std::nullopt;
}

namespace {

size_t SearchedSlot(int64_t basin)
{
    return static_cast<size_t>((static_cast<uint64_t>(basin) * 0x9E3779B97F4A7C15ULL) >> 59);
}

}  // namespace

void NextDownAssigner::SearchAhead(int64_t code) const
{
    if (code <= 0) {
        return;
    }
    int64_t next = index_.GetNextDownCode(code);
    searchedAhead_[SearchedSlot(code)] = {code, next};
    if (ids_ && next > 0) {
        ids_->Prefetch(next);
    }
}

int64_t NextDownAssigner::NextDownCode(int64_t basin) const
{
    const Searched& searched = searchedAhead_[SearchedSlot(basin)];
    return searched.basin == basin && basin > 0 ? searched.next : index_.GetNextDownCode(basin);
}

int64_t NextDownAssigner::WholeNumber(const Variant& value) const
{
    return int64_ ? runtime::ToLongLong(value) : runtime::ToLong(value);
}

Variant NextDownAssigner::AsWritten(int64_t number) const
{
    return int64_ ? Variant(number) : Variant(static_cast<int32_t>(number));
}

void LookAhead(const NextDownAssigner& assigner, const std::vector<int64_t>& upcoming, size_t position)
{
    constexpr size_t kIndexAhead = 16;
    constexpr size_t kIdentifierAhead = 8;
    if (position + kIndexAhead < upcoming.size()) {
        assigner.PrefetchIndex(upcoming[position + kIndexAhead]);
    }
    if (position + kIdentifierAhead < upcoming.size()) {
        assigner.SearchAhead(upcoming[position + kIdentifierAhead]);
    }
}

int64_t PlainCode(const Variant& code)
{
    return code.IsInteger() ? runtime::ToLongLong(code) : 0;
}

namespace {

ValueAt AtPositionIn(const std::vector<Variant>& values)
{
    return [&values](size_t i) { return values[i]; };
}

const std::vector<Variant>* AsManyAs(const std::vector<Variant>& codes, const std::vector<Variant>* ids)
{
    if (ids->size() != codes.size()) {
        throw std::invalid_argument("as many identifiers as codes are needed");
    }
    return ids;
}

modPfafTools::NextDownIndex IndexOf(size_t count, const ValueAt& codeAt, const RunOptions& options,
                                    bool allowTrailingZeros, std::vector<int64_t>& readOrder,
                                    const runtime::Checkpoint& checkpoint)
{
    PfafCodeList list(CodeWidthOf(options));
    readOrder.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        checkpoint.Pass();
        Variant code = codeAt(i);
        if (!code.IsNull()) {
            list.Add(code);
        }
        readOrder.push_back(PlainCode(code));
    }
    list.SortDescending(checkpoint);
    return list.BuildIndex(ZeroReadingOf(options), allowTrailingZeros, checkpoint);
}

runtime::Collection Filed(size_t count, const ValueAt& codeAt, const ValueAt& idAt,
                          const runtime::Checkpoint& checkpoint)
{
    runtime::Collection filed;
    if (!idAt) {
        return filed;
    }
    filed.Reserve(count);
    for (size_t i = 0; i < count; ++i) {
        checkpoint.Pass();
        try {
            modPfafTools::AddUnderKeyText(filed, idAt(i), codeAt(i));
        } catch (const std::exception&) {
            // The first feature of a code keeps it, as in the run.
        }
    }
    return filed;
}

}  // namespace

LayerAssigner::LayerAssigner(size_t count, const ValueAt& codeAt, const ValueAt& idAt, const RunOptions& options,
                             bool allowTrailingZeros, const runtime::Checkpoint& checkpoint)
    : index_(IndexOf(count, codeAt, options, allowTrailingZeros, readOrder_, checkpoint)),
      filed_(Filed(count, codeAt, idAt, checkpoint)),
      assigner_(index_, idAt ? &filed_ : nullptr, options)
{
}

LayerAssigner::LayerAssigner(const std::vector<Variant>& codes, const std::vector<Variant>* ids,
                             const RunOptions& options, bool allowTrailingZeros)
    : LayerAssigner(codes.size(), AtPositionIn(codes), ids ? AtPositionIn(*AsManyAs(codes, ids)) : ValueAt(), options,
                    allowTrailingZeros)
{
}

void LayerAssigner::LookAhead(size_t position) const
{
    command::LookAhead(assigner_, readOrder_, position);
}

std::vector<Assigned> AssignLayer(const std::vector<Variant>& codes, const std::vector<Variant>* ids,
                                  const RunOptions& options, bool allowTrailingZeros)
{
    std::vector<Assigned> answers;
    answers.reserve(codes.size());
    AssignLayer(codes.size(), AtPositionIn(codes), ids ? AtPositionIn(*AsManyAs(codes, ids)) : ValueAt(), options,
                allowTrailingZeros, [&answers](size_t, Assigned&& answer) { answers.push_back(std::move(answer)); });
    return answers;
}

void AssignLayer(size_t count, const ValueAt& codeAt, const ValueAt& idAt, const RunOptions& options,
                 bool allowTrailingZeros, const std::function<void(size_t, Assigned&&)>& take,
                 const runtime::Checkpoint& checkpoint)
{
    LayerAssigner assigner(count, codeAt, idAt, options, allowTrailingZeros, checkpoint);
    for (size_t i = 0; i < count; ++i) {
        checkpoint.Pass();
        assigner.LookAhead(i);
        take(i, assigner.Assign(codeAt(i)));
    }
}

}  // namespace drennow::command
