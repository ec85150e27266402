#pragma once

#include "host/Data.h"
#include "host/Editor.h"
#include "host/Progress.h"
#include "host/UserInterface.h"

#include <string>

namespace drennow::host {

struct ITemplates : virtual IUnknown {
    virtual int32_t Count() = 0;
    virtual std::string Item(int32_t index) = 0;  // index from 0
};

// The host application: the command reaches everything through it.
struct IApplication : virtual IUnknown {
    virtual Ref<IMxDocument> Document() = 0;
    virtual Ref<IStatusBar> StatusBar() = 0;
    // The last entry is the open document's full path.
    virtual Ref<ITemplates> Templates() = 0;
    // The extension so identified, or nothing.
    virtual Ref<IExtension> FindExtensionByCLSID(const UID& id) = 0;
    // A new cancel tracker that reports the user's Esc.
    virtual Ref<ITrackCancel> NewCancelTracker() = 0;
    virtual Ref<IUserInterface> UserInterface() = 0;
};

}  // namespace drennow::host
