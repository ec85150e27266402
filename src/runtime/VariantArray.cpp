#include "runtime/VariantArray.h"

#include "runtime/Error.h"

namespace drennow::runtime {

int32_t VariantArray::LBound() const
{
    if (!allocated_) {
        Raise(kSubscriptOutOfRange);
    }
    return lower_;
}

int32_t VariantArray::UBound() const
{
    if (!allocated_) {
        Raise(kSubscriptOutOfRange);
    }
    return static_cast<int32_t>(lower_ + static_cast<int64_t>(items_.size()) - 1);
}

size_t VariantArray::Offset(int32_t index) const
{
    int64_t offset = static_cast<int64_t>(index) - lower_;
    if (!allocated_ || offset < 0 || offset >= static_cast<int64_t>(items_.size())) {
        Raise(kSubscriptOutOfRange);
    }
    return static_cast<size_t>(offset);
}

Variant& VariantArray::operator()(int32_t index)
{
    return items_[Offset(index)];
}

const Variant& VariantArray::operator()(int32_t index) const
{
    return items_[Offset(index)];
}

void VariantArray::ReDim(int32_t lower, int32_t upper)
{
    if (upper < lower - 1) {
        Raise(kSubscriptOutOfRange);
    }
    items_.assign(static_cast<size_t>(static_cast<int64_t>(upper) - lower + 1), Variant());
    lower_ = lower;
    allocated_ = true;
}

void VariantArray::ReDimPreserve(int32_t upper)
{
    int32_t lower = allocated_ ? lower_ : 1;
    if (upper < lower - 1) {
        Raise(kSubscriptOutOfRange);
    }
    items_.resize(static_cast<size_t>(static_cast<int64_t>(upper) - lower + 1));
    lower_ = lower;
    allocated_ = true;
}

}  // namespace drennow::runtime
