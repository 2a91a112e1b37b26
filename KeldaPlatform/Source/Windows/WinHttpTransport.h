#pragma once
// What the WinHTTP transport adds to the transport seam: how a session came out on this system's
// WinHTTP. Safe to call from any thread.
#include "Common/Http/HttpTransport.h"

namespace Platform::Network::Http::Transport {

// Whether the session's requests ask for HTTP/2 (WinHTTP took the HTTP/2 option); false for a
// session of another transport.
bool AsksForHttp2(const Session& session);

}  // namespace Platform::Network::Http::Transport
