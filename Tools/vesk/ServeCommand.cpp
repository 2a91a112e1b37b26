// vesk serve: the reference workspace server started with the tool's own option conventions.
#include <string>
#include <vector>

#include "Command.h"
#include "Library.h"
#include "Serve.h"

namespace VeskTool {
namespace {

const std::vector<std::string> kServerValueOptions = {"--root",         "--port",     "--bind",    "--prefix",
                                                      "--api-key-file", "--tls-cert", "--tls-key", "--max-upload",
                                                      "--timeout",      "--port-file"};

int Serve(const CommandLine& line, const Streams&) {
    if (!line.Has("--root")) {
        throw UsageError("serve needs --root DIR, the folder that holds one folder per workspace");
    }
    std::vector<std::string> arguments;
    for (const auto& [option, value] : line.options) {
        arguments.push_back(option);
        arguments.push_back(value);
    }
    if (!line.Has("--port")) {
        arguments.insert(arguments.end(), {"--port", "8080"});
    }
    ReplaceProcessWithServer(arguments);
    return 1;  // not reached: the server replaced this process, or the call threw
}

}  // namespace

std::vector<Command> ServeCommands() {
    return {
        {"serve",
         "--root DIR [--port N] [--bind ADDR] [--prefix P] [--api-key-file F] [--tls-cert C --tls-key K] [...]",
         "Runs the reference workspace server (vesk-server, installed beside vesk) in the foreground until\n"
         "Ctrl+C. It serves every folder DIR/UUID that holds one .veskdb file as the workspace UUID at\n"
         "http://ADDR:N/ws (with --prefix P: at http://ADDR:N/P/ws).\n"
         "  --root DIR             the workspaces' folder\n"
         "  --port N               the port (default 8080; 0 picks a free one, see --port-file)\n"
         "  --bind ADDR            the address to listen on (default 127.0.0.1: this machine only)\n"
         "  --prefix P             a path before /ws, as behind a reverse proxy\n"
         "  --api-key-file F       require the API key that the first line of F holds (x-api-key)\n"
         "  --tls-cert C --tls-key K   serve HTTPS with this certificate and key (PEM files)\n"
         "  --max-upload BYTES     refuse larger uploads (413)\n"
         "  --timeout SECONDS      drop a client that sends or reads nothing for this long\n"
         "  --port-file F          write the port listened on to F once the server is ready\n"
         "All of docs/protocol.md describes what it answers.\n"
         "example:\n  vesk serve --root ~/VeskServer --port 8080 --api-key-file ~/VeskServer.key\n",
         0,
         kServerValueOptions,
         {},
         Serve},
    };
}

}  // namespace VeskTool
