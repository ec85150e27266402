#include "runtime/Error.h"

namespace drennow::runtime {

Error::Error(int32_t number, std::string description)
    : std::runtime_error("Error " + std::to_string(number) + ": " + description),
      number_(number),
      description_(std::move(description))
{
}

std::string StandardDescription(ErrorNumber number)
{
    switch (number) {
    case kInvalidProcedureCall:
        return "Invalid procedure call or argument";
    case kOverflow:
        return "Overflow";
    case kOutOfMemory:
        return "Out of memory";
    case kSubscriptOutOfRange:
        return "Subscript out of range";
    case kTypeMismatch:
        return "Type mismatch";
    case kInternalError:
        return "Internal error";
    case kDiskFull:
        return "Disk full";
    case kPermissionDenied:
        return "Permission denied";
    case kPathFileAccessError:
        return "Path/File access error";
    case kPathNotFound:
        return "Path not found";
    case kObjectNotSet:
        return "Object variable or With block variable not set";
    case kInvalidUseOfNull:
        return "Invalid use of Null";
    case kInvalidPropertyValue:
        return "Invalid property value";
    case kDuplicateKey:
        return "This key is already associated with an element of this collection";
    }
    return "Application-defined or object-defined error";
}

void Raise(ErrorNumber number)
{
    throw Error(number, StandardDescription(number));
}

}  // namespace drennow::runtime
