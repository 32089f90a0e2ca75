// The replaceable waits and manager open of ServiceController (tests shorten or script them).
#pragma once

#include "jxbase/ServiceController.h"

namespace jxbase_svc {

ServiceController::SleepFn& SleepHook();
ServiceController::OpenManagerFn& OpenManagerHook();

// A handle value for the "%X" of the trace lines.
inline unsigned HandleBits(const void* handle) {
    return static_cast<unsigned>(reinterpret_cast<uintptr_t>(handle));
}

} // namespace jxbase_svc
