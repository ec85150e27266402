#pragma once

#include <cstdint>
#include <string>

namespace drennow::command {

// The failure-log description of a next-down failure code.
std::string DescribeFailureCode(int32_t code);

}  // namespace drennow::command
