// The clock of the registry's last-write times, replaceable by tests.
#pragma once

#include <cstdint>
#include <functional>

namespace jxplat::registry {

// The current time as a FILETIME value (100-ns intervals since 1601-01-01 UTC).
uint64_t RegNow();
// Replaces the clock; an empty function restores the system clock.
void SetRegistryClock(std::function<uint64_t()> clock);

} // namespace jxplat::registry
