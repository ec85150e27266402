#include "command/NextDownAssigner.h"

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

CodeColumn::CodeColumn(const RunOptions& options) : list_(CodeWidthOf(options)) {}

void CodeColumn::Add(const Variant& code)
{
    if (!code.IsNull()) {
        list_.Add(code);
    }
    plain_.push_back(code.IsInteger() ? runtime::ToLongLong(code) : 0);
}

NextDownAssigner::NextDownAssigner(CodeColumn codes, std::optional<runtime::Collection> ids,
                                   const RunOptions& options, bool allowTrailingZeros,
                                   const runtime::Checkpoint& checkpoint)
    : readOrder_(std::move(codes.plain_)),
      index_(codes.list_.BuildIndex(ZeroReadingOf(options), allowTrailingZeros, checkpoint)),
      ids_(std::move(ids)),
      int64_(options.int64)
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

Assigned NextDownAssigner::AssignAt(size_t position, const Variant& code) const
{
    LookAhead(position);
    return Assign(code);
}

void NextDownAssigner::AssignAll(const ValueAt& codeAt, const std::function<void(size_t, Assigned&&)>& take,
                                 const runtime::Checkpoint& checkpoint) const
{
    for (size_t i = 0; i < readOrder_.size(); ++i) {
        checkpoint.Pass();
        take(i, AssignAt(i, codeAt(i)));
    }
}

// The index's memory for a basin 16 features ahead, and the search with the
// identifier's memory for one 8 ahead: by the time the pass meets them,
// both have come.
void NextDownAssigner::LookAhead(size_t position) const
{
    constexpr size_t kIndexAhead = 16;
    constexpr size_t kIdentifierAhead = 8;
    if (position + kIndexAhead < readOrder_.size()) {
        index_.Prefetch(readOrder_[position + kIndexAhead]);
    }
    if (position + kIdentifierAhead < readOrder_.size()) {
        SearchAhead(readOrder_[position + kIdentifierAhead]);
    }
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

CodeColumn SortedColumn(size_t count, const ValueAt& codeAt, const RunOptions& options,
                        const runtime::Checkpoint& checkpoint)
{
    CodeColumn column(options);
    for (size_t i = 0; i < count; ++i) {
        checkpoint.Pass();
        column.Add(codeAt(i));
    }
    column.SortDescending(checkpoint);
    return column;
}

std::optional<runtime::Collection> Filed(size_t count, const ValueAt& codeAt, const ValueAt& idAt,
                                         const runtime::Checkpoint& checkpoint)
{
    if (!idAt) {
        return std::nullopt;
    }
    runtime::Collection filed;
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

// The codes, then the identifiers.
std::pair<CodeColumn, std::optional<runtime::Collection>> ReadColumns(size_t count, const ValueAt& codeAt,
                                                                      const ValueAt& idAt, const RunOptions& options,
                                                                      const runtime::Checkpoint& checkpoint)
{
    CodeColumn codes = SortedColumn(count, codeAt, options, checkpoint);
    return {std::move(codes), Filed(count, codeAt, idAt, checkpoint)};
}

}  // namespace

NextDownAssigner::NextDownAssigner(Columns columns, const RunOptions& options, bool allowTrailingZeros,
                                   const runtime::Checkpoint& checkpoint)
    : NextDownAssigner(std::move(columns.first), std::move(columns.second), options, allowTrailingZeros, checkpoint)
{
}

NextDownAssigner::NextDownAssigner(size_t count, const ValueAt& codeAt, const ValueAt& idAt,
                                   const RunOptions& options, bool allowTrailingZeros,
                                   const runtime::Checkpoint& checkpoint)
    : NextDownAssigner(ReadColumns(count, codeAt, idAt, options, checkpoint), options, allowTrailingZeros, checkpoint)
{
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
    NextDownAssigner(count, codeAt, idAt, options, allowTrailingZeros, checkpoint).AssignAll(codeAt, take, checkpoint);
}

}  // namespace drennow::command
