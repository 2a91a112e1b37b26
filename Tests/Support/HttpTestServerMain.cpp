// The native test server for HTTP tests that run under an emulator: a control server on 127.0.0.1
// makes, queries and removes test servers in this process on request. The control protocol:
//   POST   /servers?security=NAME   a new server ("plain", "tls", ...); answers its port
//   GET    /servers/PORT/requests   what it received, as EncodeRequests writes it
//   POST   /servers/PORT/stop       it stops listening
//   DELETE /servers/PORT            it is removed
//   POST   /raw?script=NAME         a new scripted raw server ("reply" with the request body as
//                                   its reply, "deaf", "endless-head"); answers its port
//   GET    /raw/PORT/received       the raw requests it received, as EncodeStrings writes them
//   DELETE /raw/PORT                it is removed
//   GET    /authority               the PEM file of the authority behind the TLS certificates
//   POST   /quit                    the process ends
// Usage: HttpTestServerMain [--url-file PATH] [--seconds N]. The control URL is printed and, with
// --url-file, written to PATH (complete once the file exists). The process ends on /quit, on SIGTERM
// or SIGINT, or after N seconds (default 1800) whatever happens.
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "HttpTestServer.h"

namespace {

using VeskTest::HttpTestServer;

// Servers alive at once: more means a test run that forgets to remove them.
constexpr size_t kMaxServers = 64;

volatile std::sig_atomic_t signalled = 0;

void OnSignal(int) {
    signalled = 1;
}

class Control {
public:
    Control() {
        server_.Post("/servers", [this](const httplib::Request& request, httplib::Response& response) {
            HttpTestServer::Security security = HttpTestServer::Security::Plain;
            if (!VeskTest::SecurityFromName(request.get_param_value("security"), security)) {
                response.status = 400;
                return;
            }
            std::lock_guard<std::mutex> lock(mutex_);
            if (servers_.size() >= kMaxServers) {
                response.status = 503;
                return;
            }
            auto made = VeskTest::StartLocalHttpTestServer(security, &certificates_);
            const uint16_t port = made->Port();
            servers_[port] = std::move(made);
            response.set_content(std::to_string(port), "text/plain");
        });
        server_.Get(R"(/servers/(\d+)/requests)", [this](const httplib::Request& request, httplib::Response& response) {
            std::lock_guard<std::mutex> lock(mutex_);
            if (auto* found = Find(servers_, request, response)) {
                response.set_content(VeskTest::EncodeRequests(found->Requests()), "application/octet-stream");
            }
        });
        server_.Post(R"(/servers/(\d+)/stop)", [this](const httplib::Request& request, httplib::Response& response) {
            std::lock_guard<std::mutex> lock(mutex_);
            if (auto* found = Find(servers_, request, response)) {
                found->Stop();
                response.set_content("ok", "text/plain");
            }
        });
        server_.Delete(R"(/servers/(\d+))", [this](const httplib::Request& request, httplib::Response& response) {
            Remove(servers_, request, response);
        });
        server_.Post("/raw", [this](const httplib::Request& request, httplib::Response& response) {
            VeskTest::ScriptedTestServer::Script script = VeskTest::ScriptedTestServer::Script::Reply;
            if (!VeskTest::ScriptedTestServer::ScriptFromName(request.get_param_value("script"), script)) {
                response.status = 400;
                return;
            }
            std::lock_guard<std::mutex> lock(mutex_);
            if (raw_.size() >= kMaxServers) {
                response.status = 503;
                return;
            }
            auto made =
                std::make_unique<VeskTest::RawTestServer>(VeskTest::ScriptedTestServer::Responder(script, request.body),
                                                          VeskTest::ScriptedTestServer::ReadsBody(script));
            const uint16_t port = made->Port();
            raw_[port] = std::move(made);
            response.set_content(std::to_string(port), "text/plain");
        });
        server_.Get(R"(/raw/(\d+)/received)", [this](const httplib::Request& request, httplib::Response& response) {
            std::lock_guard<std::mutex> lock(mutex_);
            if (auto* found = Find(raw_, request, response)) {
                response.set_content(VeskTest::EncodeStrings(found->Received()), "application/octet-stream");
            }
        });
        server_.Delete(R"(/raw/(\d+))", [this](const httplib::Request& request, httplib::Response& response) {
            Remove(raw_, request, response);
        });
        server_.Get("/authority", [this](const httplib::Request&, httplib::Response& response) {
            response.set_content(certificates_.AuthorityFile(), "text/plain");
        });
        server_.Post("/quit", [this](const httplib::Request&, httplib::Response& response) {
            response.set_content("ok", "text/plain");
            quit_ = true;
        });
        // Every test process keeps its control connections alive while it runs: enough workers for
        // the tests that run at once, and idle connections let go of theirs soon.
        server_.new_task_queue = [] { return new httplib::ThreadPool(32); };
        server_.set_keep_alive_timeout(1);
        server_.set_read_timeout(5, 0);
        server_.set_write_timeout(5, 0);
    }

    int Bind() { return server_.bind_to_any_port("127.0.0.1"); }

    // Serves until told to stop or until deadline.
    void Serve(std::chrono::steady_clock::time_point deadline) {
        std::thread listener([this] { server_.listen_after_bind(); });
        while (!quit_ && signalled == 0 && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        server_.stop();
        listener.join();
        std::lock_guard<std::mutex> lock(mutex_);
        servers_.clear();
        raw_.clear();
    }

private:
    static uint16_t PortOf(const httplib::Request& request) {
        return static_cast<uint16_t>(std::stoul(request.matches[1].str()));
    }

    // The server whose port the path names, or null with the answer 404; mutex_ is held.
    template <class Map>
    static typename Map::mapped_type::pointer Find(Map& map, const httplib::Request& request,
                                                   httplib::Response& response) {
        auto found = map.find(PortOf(request));
        if (found == map.end()) {
            response.status = 404;
            return nullptr;
        }
        return found->second.get();
    }

    // Removes the server whose port the path names, and destroys it outside the lock.
    template <class Map>
    void Remove(Map& map, const httplib::Request& request, httplib::Response& response) {
        typename Map::mapped_type removed;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            auto found = map.find(PortOf(request));
            if (found == map.end()) {
                response.status = 404;
                return;
            }
            removed = std::move(found->second);
            map.erase(found);
        }
        removed.reset();
        response.set_content("ok", "text/plain");
    }

    VeskTest::TestCertificates certificates_;
    httplib::Server server_;
    std::mutex mutex_;  // guards servers_ and raw_
    std::map<uint16_t, std::unique_ptr<HttpTestServer::Backend>> servers_;
    std::map<uint16_t, std::unique_ptr<VeskTest::RawTestServer>> raw_;
    std::atomic<bool> quit_{false};
};

}  // namespace

int main(int argc, char** argv) {
    std::string urlFile;
    long seconds = 1800;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--url-file" && i + 1 < argc) {
            urlFile = argv[++i];
        } else if (argument == "--seconds" && i + 1 < argc) {
            seconds = std::strtol(argv[++i], nullptr, 10);
        } else {
            std::cerr << "usage: " << argv[0] << " [--url-file PATH] [--seconds N]\n";
            return 2;
        }
    }
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGINT, OnSignal);
    std::signal(SIGPIPE, SIG_IGN);
    try {
        Control control;
        const int port = control.Bind();
        if (port <= 0) {
            std::cerr << "the control server cannot listen\n";
            return 1;
        }
        const std::string url = "http://127.0.0.1:" + std::to_string(port);
        std::cout << url << std::endl;
        if (!urlFile.empty()) {
            // Written aside and renamed, so that a reader never sees half a URL.
            const std::string partial = urlFile + ".partial";
            std::ofstream(partial) << url << "\n";
            std::filesystem::rename(partial, urlFile);
        }
        control.Serve(std::chrono::steady_clock::now() + std::chrono::seconds(seconds));
        if (!urlFile.empty()) {
            std::error_code ignored;
            std::filesystem::remove(urlFile, ignored);
        }
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "test server: " << e.what() << "\n";
        return 1;
    }
}
