#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace drennow::runtime {

// The one error type of the system: a number and a description. Runtime
// errors carry small positive numbers; failed host calls carry negative ones.
class Error : public std::runtime_error {
public:
    Error(int32_t number, std::string description);

    int32_t Number() const { return number_; }
    const std::string& Description() const { return description_; }

private:
    int32_t number_;
    std::string description_;
};

// Numbers of the runtime errors the system raises.
enum ErrorNumber : int32_t {
    kInvalidProcedureCall = 5,
    kOverflow = 6,
    kOutOfMemory = 7,
    kSubscriptOutOfRange = 9,
    kTypeMismatch = 13,
    kInternalError = 51,
    kDiskFull = 61,
    kPermissionDenied = 70,
    kPathFileAccessError = 75,
    kPathNotFound = 76,
    kObjectNotSet = 91,
    kInvalidUseOfNull = 94,
    kInvalidPropertyValue = 380,
    kDuplicateKey = 457,
};

// The number a failed host call carries (E_FAIL), whatever the host.
inline constexpr int32_t kHostCallFailed = -2147467259;

// Raises the runtime error of the given number with its standard text.
[[noreturn]] void Raise(ErrorNumber number);

// The standard text of a runtime error number.
std::string StandardDescription(ErrorNumber number);

// Dereferences a host object reference; a missing object raises error 91,
// as calling a member on an object variable that holds nothing does.
template <typename Ptr>
auto& Deref(const Ptr& object)
{
    if (!object) {
        Raise(kObjectNotSet);
    }
    return *object;
}

}  // namespace drennow::runtime
