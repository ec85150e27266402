#include "platform/memory/Faults.h"

#include "runtime/Error.h"

namespace drennow::memory {

void FaultPlan::FailAt(const std::string& operation, int call, int32_t number, const std::string& description)
{
    planned_[operation] = Failure{call, number, description};
}

void FaultPlan::Clear()
{
    planned_.clear();
    calls_.clear();
}

void FaultPlan::Hit(const std::string& operation)
{
    int call = ++calls_[operation];
    auto planned = planned_.find(operation);
    if (planned != planned_.end() && planned->second.call == call) {
        throw runtime::Error(planned->second.number, planned->second.description);
    }
}

int FaultPlan::Calls(const std::string& operation) const
{
    auto found = calls_.find(operation);
    return found == calls_.end() ? 0 : found->second;
}

}  // namespace drennow::memory
