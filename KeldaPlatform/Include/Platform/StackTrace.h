#pragma once
#include <cstdint>
#include <string>

namespace Platform::Diagnostics {

// The calling thread's stack, one line per frame: "\t[i]. [0x<address>]" followed by
// ", [<module path>], <module file>!<symbol>" or ", (Symbols not loaded)". Frame 0 is the caller of
// this function before framesToSkip frames are dropped. Fails (returns false with a reason in
// error) when no frame could be captured.
bool CaptureStackTrace(uint32_t framesToSkip, uint32_t framesToCapture, std::string& trace, std::string& error);

}  // namespace Platform::Diagnostics
