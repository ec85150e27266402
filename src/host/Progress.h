#pragma once

#include "host/Unknown.h"

#include <cstdint>
#include <string>

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

}  // namespace drennow::host
