#pragma once
#include <cstdint>

namespace Platform::Threading {

class Waitable;

inline constexpr uint32_t kInfinite = 0xFFFFFFFFu;

namespace ThreadHelpers {

// The one wait of the platform layer. A plain wait (pumpMessages false) only waits. A pumping wait
// is alertable: work posted to the calling thread runs inside it, in posting order, and the wait goes
// on afterwards. True when the handle was signalled; false on time-out or failure (logged, never
// thrown). Any thread may wait on any handle.
bool WaitForSingleObject(Waitable* handle, uint32_t timeoutMs, bool pumpMessages, bool dispatchMessages);

}  // namespace ThreadHelpers
}  // namespace Platform::Threading
