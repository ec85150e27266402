#pragma once

#include <memory>

namespace drennow::host {

// The root of every host object. Host objects are reference counted and
// offer several interfaces; asking an object for another interface is a cast
// that yields nothing when the object does not offer it.
struct IUnknown {
    virtual ~IUnknown() = default;
};

template <typename T>
using Ref = std::shared_ptr<T>;

template <typename To, typename From>
Ref<To> QueryInterface(const Ref<From>& object)
{
    return std::dynamic_pointer_cast<To>(object);
}

}  // namespace drennow::host
