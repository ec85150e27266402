#pragma once

#include "host/Unknown.h"

#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>

namespace drennow::host {

struct IStepProgressor : virtual IUnknown {
    virtual void MinRange(int32_t value) = 0;
    virtual void MaxRange(int32_t value) = 0;
    virtual void StepValue(int32_t value) = 0;
    virtual void Position(int32_t value) = 0;
    virtual void Message(const std::string& text) = 0;
    virtual void Show() = 0;
    virtual void Step() = 0;
    virtual void Hide() = 0;
};

struct IStatusBar : virtual IUnknown {
    virtual void Message(int32_t pane, const std::string& text) = 0;
    // The same progress bar on every call.
    virtual Ref<IStepProgressor> ProgressBar() = 0;
};

struct ITrackCancel : virtual IUnknown {
    // False once the user has asked to cancel.
    virtual bool Continue() = 0;
};

// The message a loop shows for each row it has handled:
// "<label> <count>.. Hit Esc to Cancel". Made again for every row, so only
// the count is rewritten, in place.
class RowCountText {
public:
    explicit RowCountText(std::string_view label) : text_(label), labelLength_(text_.size() + 1) { text_ += ' '; }

    const std::string& For(int32_t count)
    {
        char digits[16];
        auto end = std::to_chars(digits, digits + sizeof digits, count).ptr;
        text_.resize(labelLength_);
        text_.append(digits, end);
        text_.append(kSuffix);
        return text_;
    }

private:
    static constexpr std::string_view kSuffix = ".. Hit Esc to Cancel";
    std::string text_;
    size_t labelLength_;
};

}  // namespace drennow::host
