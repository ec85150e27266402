#pragma once

#include "command/RunOptions.h"
#include "runtime/Variant.h"

#include <cstdint>
#include <string>

namespace drennow::command {

// Compares, feature by feature, the value written into NextDownID with the
// value of another field, and keeps the disagreements as lines of a
// tab-separated log.
class ComparisonTally {
public:
    explicit ComparisonTally(std::string field);

    void Add(int32_t objectId, const runtime::Variant& written, const runtime::Variant& existing);
    // The log's text: a heading, then a line per disagreement (CR LF).
    std::string LogText() const;
    Comparison Result(const std::string& logPath) const;

private:
    std::string field_;
    int64_t agreeing_ = 0;
    int64_t compared_ = 0;
    std::string disagreements_;
};

// They agree when equal (failure codes included), or when a failure code (0
// or below) was written and the existing value is 0 or null.
bool ValuesAgree(const runtime::Variant& written, const runtime::Variant& existing);

}  // namespace drennow::command
