#pragma once

#include "host/Unknown.h"

#include <algorithm>
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

// A progress bar's range and position as the run sets them, for hosts that
// draw or report the bar themselves. The range may be smaller than the steps
// taken: the bar then stays full.
struct StepRange {
    int32_t min = 0;
    int32_t max = 100;
    int32_t step = 1;
    int64_t position = 0;

    void Step() { position += step; }
    int64_t Span() const { return std::max<int64_t>(1, static_cast<int64_t>(max) - min); }
    // Between 0 and Span().
    int64_t Done() const { return std::clamp<int64_t>(position - min, 0, Span()); }
    double Fraction() const { return static_cast<double>(Done()) / static_cast<double>(Span()); }
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
