#pragma once
#include <cstdint>
#include <string>

namespace Platform::Diagnostics {

// The calling thread's stack, one line per frame: "\t[i]. [0x<address>]" followed by
// ", [<module path>], <module file>!<symbol>" or ", (Symbols not loaded)". Before framesToSkip
// frames are dropped, frame 0 is this capturing function itself, so skipping 1 starts the trace at
// its caller. Fills trace and returns true; returns false with a reason in error when no frame could
// be captured. Safe to call from any thread: symbol look-ups are serialised inside.
bool CaptureStackTrace(uint32_t framesToSkip, uint32_t framesToCapture, std::string& trace, std::string& error);

}  // namespace Platform::Diagnostics
