#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace VeskTest {

// A TCP relay on 127.0.0.1 in front of a server, which can break the answers to GET requests: pass them
// whole, cut the connection after a number of bytes, or hold them after that many bytes until
// released. Serves until destroyed; each connection has its own thread.
class FaultProxy {
public:
    enum class Mode { Pass, Cut, Hold };

    explicit FaultProxy(int targetPort);
    ~FaultProxy();
    FaultProxy(const FaultProxy&) = delete;
    FaultProxy& operator=(const FaultProxy&) = delete;

    int Port() const { return port_; }
    void Set(Mode mode, uint64_t afterBytes = 0);
    // Waits until an answer to a GET is held (Hold mode); false after timeoutMs.
    bool WaitUntilHolding(int timeoutMs);
    // Lets held answers go on.
    void Release();

private:
    void Accept();
    void Relay(int client);
    // Whether the answer may go on after sent bytes of it; false ends the connection.
    bool MayContinue(uint64_t sent);

    int listener_ = -1;
    int port_ = 0;
    int targetPort_;
    std::atomic<bool> stopping_{false};
    std::mutex mutex_;  // guards the fields below
    std::condition_variable changed_;
    Mode mode_ = Mode::Pass;
    uint64_t afterBytes_ = 0;
    bool holding_ = false;
    bool released_ = false;
    std::vector<int> sockets_;
    std::vector<std::thread> threads_;
    std::thread acceptor_;
};

}  // namespace VeskTest
