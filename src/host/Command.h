#pragma once

#include "host/Unknown.h"

#include <cstdint>
#include <string>

namespace drennow::host {

// A command the host places in its user interface and runs on a click.
struct ICommand : virtual IUnknown {
    virtual bool Enabled() = 0;
    virtual bool Checked() = 0;
    virtual std::string Name() = 0;
    virtual std::string Caption() = 0;
    virtual std::string Tooltip() = 0;
    virtual std::string Message() = 0;
    virtual std::string HelpFile() = 0;
    virtual int32_t HelpContextID() = 0;
    virtual int32_t Bitmap() = 0;
    virtual std::string Category() = 0;
    // Keeps the application object; fails when hook is not an application.
    virtual void OnCreate(const Ref<IUnknown>& hook) = 0;
    virtual void OnClick() = 0;
};

}  // namespace drennow::host
