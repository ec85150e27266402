#include "host/modGlobals.h"

namespace drennow::modGlobals {

thread_local host::Ref<host::IApplication> g_pApp;

}  // namespace drennow::modGlobals
