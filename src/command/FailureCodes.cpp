#include "command/FailureCodes.h"

namespace drennow::command {

std::string FailureLine(const FailureRecord& failure)
{
    return std::to_string(failure.objectId) + "\t" + std::to_string(failure.code) + "\t" + failure.description;
}

namespace {

const FailureTexts* RowOf(int32_t code)
{
    for (const FailureTexts& row : kFailureTable) {
        if (row.code == code) {
            return &row;
        }
    }
    return nullptr;
}

}  // namespace

std::string DescribeFailureCode(int32_t code)
{
    const FailureTexts* row = RowOf(code);
    return row ? row->description : kUnknownFailureText;
}

bool IsFailureCode(int32_t code)
{
    return RowOf(code) != nullptr;
}

}  // namespace drennow::command
