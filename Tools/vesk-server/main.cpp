// vesk-server: serves the workspaces in one folder over HTTP(S) until SIGINT or SIGTERM.

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>

#include "System.h"
#include "WorkspaceServer.h"

namespace {

constexpr const char* kUsage =
    "usage: vesk-server --root DIR --port N [--bind ADDR] [--prefix /api] [--api-key-file F]\n"
    "                   [--tls-cert C --tls-key K] [--max-upload BYTES] [--timeout SECONDS] [--port-file F]\n";

std::string ReadKey(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        throw std::runtime_error("Cannot read the API key file " + file);
    }
    std::stringstream text;
    text << in.rdbuf();
    std::string key = text.str();
    // Editors end files with a line break that is no part of the key.
    while (!key.empty() && (key.back() == '\n' || key.back() == '\r' || key.back() == ' ')) {
        key.pop_back();
    }
    if (key.empty()) {
        throw std::runtime_error("The API key file is empty: " + file);
    }
    return key;
}

long long Number(const std::string& name, const std::string& text, long long low, long long high) {
    std::size_t used = 0;
    long long value = 0;
    try {
        value = std::stoll(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used != text.size() || value < low || value > high) {
        throw std::runtime_error("Invalid value for " + name + ": " + text);
    }
    return value;
}

int Run(int argc, char** argv) {
    std::map<std::string, std::string> args;
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--help" || name == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (name.rfind("--", 0) != 0 || i + 1 >= argc) {
            throw std::runtime_error("Unexpected argument " + name);
        }
        args[name] = argv[++i];
    }
    static const char* const kKnown[] = {"--root",     "--port",    "--bind",       "--prefix",  "--api-key-file",
                                         "--tls-cert", "--tls-key", "--max-upload", "--timeout", "--port-file"};
    for (const auto& [name, value] : args) {
        if (std::find(std::begin(kKnown), std::end(kKnown), name) == std::end(kKnown)) {
            throw std::runtime_error("Unknown option " + name);
        }
    }
    if (!args.count("--root") || !args.count("--port")) {
        throw std::runtime_error("--root and --port are required");
    }
    VeskServer::ServerOptions options;
    options.port = static_cast<int>(Number("--port", args["--port"], 0, 65535));
    if (args.count("--bind")) {
        options.bind = args["--bind"];
    }
    if (args.count("--prefix")) {
        options.prefix = args["--prefix"];
        if (options.prefix.empty() || options.prefix.front() != '/' || options.prefix.back() == '/') {
            throw std::runtime_error("--prefix must begin with / and not end with it");
        }
    }
    if (args.count("--api-key-file")) {
        options.apiKey = ReadKey(args["--api-key-file"]);
    }
    if (args.count("--tls-cert") != args.count("--tls-key")) {
        throw std::runtime_error("--tls-cert and --tls-key go together");
    }
    if (args.count("--tls-cert")) {
        options.tlsCertificate = args["--tls-cert"];
        options.tlsKey = args["--tls-key"];
    }
    if (args.count("--max-upload")) {
        options.maxUploadBytes = static_cast<std::uint64_t>(Number("--max-upload", args["--max-upload"], 0, 1LL << 50));
    }
    if (args.count("--timeout")) {
        options.timeoutSeconds = static_cast<int>(Number("--timeout", args["--timeout"], 1, 3600));
    }

    // Before any thread starts, so that the signals reach only the wait below.
    VeskServer::System::BlockTerminationSignals();
    VeskServer::WorkspaceServer server(VeskServer::MakeFolderStore(args["--root"]), options);
    const int port = server.Start();
    if (args.count("--port-file")) {
        // Written whole under another name first, so a reader never sees half a number.
        const std::string file = args["--port-file"];
        {
            std::ofstream out(file + ".tmp");
            out << port << '\n';
            if (!out) {
                throw std::runtime_error("Cannot write the port file " + file);
            }
        }
        std::filesystem::rename(file + ".tmp", file);
    }
    std::cerr << "vesk-server: serving " << args["--root"] << " on "
              << (options.tlsCertificate.empty() ? "http" : "https") << "://" << options.bind << ":" << port
              << options.prefix << "/ws" << std::endl;
    const int signal = VeskServer::System::WaitForTerminationSignal();
    std::cerr << "vesk-server: signal " << signal << ", stopping" << std::endl;
    server.Stop();
    std::cerr << "vesk-server: stopped" << std::endl;
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::exception& error) {
        std::cerr << "vesk-server: " << error.what() << '\n' << kUsage;
        return 2;
    }
}
