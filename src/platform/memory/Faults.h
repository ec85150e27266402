#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace drennow::memory {

// Counts every host operation by name and makes a chosen one fail at its
// n-th call with a given number and description.
class FaultPlan {
public:
    void FailAt(const std::string& operation, int call, int32_t number, const std::string& description);
    void Clear();
    // Counts the call and raises the planned failure when it is due.
    void Hit(const std::string& operation);
    int Calls(const std::string& operation) const;
    const std::map<std::string, int>& AllCalls() const { return calls_; }

private:
    struct Failure {
        int call;
        int32_t number;
        std::string description;
    };
    std::map<std::string, Failure> planned_;
    std::map<std::string, int> calls_;
};

}  // namespace drennow::memory
