#pragma once

#include "host/Application.h"

// The application object, kept from the command's creation. One per thread.
namespace drennow::modGlobals {

extern thread_local host::Ref<host::IApplication> g_pApp;

}  // namespace drennow::modGlobals
