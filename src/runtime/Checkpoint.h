#pragma once

#include <cstdint>
#include <functional>
#include <utility>

namespace drennow::runtime {

// Lets the caller of long work stop it between two items: the work passes
// the checkpoint at every item, and every few thousand items the caller's
// check is called, which stops the work by throwing. Without a check,
// passing costs a decrement.
class Checkpoint {
public:
    Checkpoint() = default;
    explicit Checkpoint(std::function<void()> check) : check_(std::move(check)) {}

    bool Active() const { return static_cast<bool>(check_); }
    void Pass() const
    {
        if (--left_ == 0) {
            left_ = kItems;
            if (check_) {
                check_();
            }
        }
    }

private:
    static constexpr uint32_t kItems = 4096;
    std::function<void()> check_;
    mutable uint32_t left_ = kItems;
};

}  // namespace drennow::runtime
