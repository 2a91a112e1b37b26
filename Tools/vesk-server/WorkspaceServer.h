#pragma once
// The HTTP face of a WorkspaceStore: workspace listing, health check and the storage service of each
// workspace (plain HTTP methods plus the WebDAV subset clients need).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "WorkspaceStore.h"

namespace VeskServer {

struct ServerOptions {
    std::string bind = "127.0.0.1";
    int port = 0;                // 0: any free port
    std::string prefix;          // "" or a path such as "/api" in front of /ws and /healthcheck
    std::string apiKey;          // empty: no key required
    std::string tlsCertificate;  // PEM files; both empty: plain HTTP
    std::string tlsKey;
    std::uint64_t maxUploadBytes = 4ull << 30;
    int timeoutSeconds = 30;  // for each read and write on a connection
    int keepAliveSeconds = 5;
    int keepAliveMaxRequests = 100;
    int threads = 8;
    // Receives one line per request (no line break); null writes to standard error.
    std::function<void(const std::string&)> log;
};

// Serves one store. Start, Stop and Port are for the owner thread; requests run on the server's own
// worker pool, which shares nothing but the store (safe for concurrent use) and the log callback.
class WorkspaceServer {
public:
    // Throws std::runtime_error when the TLS certificate or key cannot be loaded.
    WorkspaceServer(std::shared_ptr<WorkspaceStore> store, ServerOptions options);
    ~WorkspaceServer();  // stops the server
    WorkspaceServer(const WorkspaceServer&) = delete;
    WorkspaceServer& operator=(const WorkspaceServer&) = delete;

    // Binds and starts serving on a thread of its own; returns the port. Throws when binding fails.
    int Start();
    // Stops accepting, lets running requests end, and joins the server thread. Idempotent.
    void Stop();
    int Port() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace VeskServer
