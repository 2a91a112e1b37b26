#include "FaultProxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <stdexcept>

namespace VeskTest {

namespace {

int Listen(int& port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 || listen(fd, 16) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("The fault proxy could not listen");
    }
    port = ntohs(address.sin_port);
    return fd;
}

int Connect(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        if (fd >= 0) {
            close(fd);
        }
        return -1;
    }
    return fd;
}

bool SendAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t sent = send(fd, data, size, MSG_NOSIGNAL);
        if (sent <= 0) {
            return false;
        }
        data += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}

}  // namespace

FaultProxy::FaultProxy(int targetPort) : targetPort_(targetPort) {
    listener_ = Listen(port_);
    acceptor_ = std::thread([this] { Accept(); });
}

FaultProxy::~FaultProxy() {
    stopping_ = true;
    Release();
    shutdown(listener_, SHUT_RDWR);
    close(listener_);
    acceptor_.join();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (int fd : sockets_) {
            shutdown(fd, SHUT_RDWR);
        }
    }
    for (std::thread& thread : threads_) {
        thread.join();
    }
    for (int fd : sockets_) {
        close(fd);
    }
}

void FaultProxy::Set(Mode mode, uint64_t afterBytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    mode_ = mode;
    afterBytes_ = afterBytes;
    holding_ = false;
    released_ = false;
}

bool FaultProxy::WaitUntilHolding(int timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return holding_; });
}

void FaultProxy::Release() {
    std::lock_guard<std::mutex> lock(mutex_);
    released_ = true;
    changed_.notify_all();
}

void FaultProxy::Accept() {
    while (!stopping_) {
        const int client = accept(listener_, nullptr, nullptr);
        if (client < 0) {
            return;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        sockets_.push_back(client);
        threads_.emplace_back([this, client] { Relay(client); });
    }
}

bool FaultProxy::MayContinue(uint64_t sent) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (mode_ == Mode::Pass || sent < afterBytes_) {
        return true;
    }
    if (mode_ == Mode::Cut) {
        return false;
    }
    holding_ = true;
    changed_.notify_all();
    changed_.wait_for(lock, std::chrono::seconds(30), [this] { return released_ || stopping_.load(); });
    return !stopping_;
}

// Relays both ways; bytes of an answer to a GET count towards the fault, and each new request starts
// the count again.
void FaultProxy::Relay(int client) {
    const int server = Connect(targetPort_);
    if (server < 0) {
        shutdown(client, SHUT_RDWR);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        sockets_.push_back(server);
    }
    bool answeringGet = false;
    uint64_t answered = 0;
    std::vector<char> buffer(64 * 1024);
    pollfd fds[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
    while (!stopping_) {
        if (poll(fds, 2, 200) < 0) {
            break;
        }
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            const ssize_t got = recv(client, buffer.data(), buffer.size(), 0);
            if (got <= 0 || !SendAll(server, buffer.data(), static_cast<size_t>(got))) {
                break;
            }
            answeringGet = std::strncmp(buffer.data(), "GET ", 4) == 0;
            answered = 0;
        }
        if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
            const ssize_t got = recv(server, buffer.data(), buffer.size(), 0);
            if (got <= 0) {
                break;
            }
            size_t allowed = static_cast<size_t>(got);
            if (answeringGet) {
                uint64_t limit = 0;
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    limit = mode_ == Mode::Pass ? UINT64_MAX : afterBytes_;
                }
                if (answered + allowed > limit) {
                    allowed = static_cast<size_t>(limit > answered ? limit - answered : 0);
                }
            }
            if (!SendAll(client, buffer.data(), allowed)) {
                break;
            }
            answered += allowed;
            if (allowed < static_cast<size_t>(got)) {
                if (!MayContinue(answered) ||
                    !SendAll(client, buffer.data() + allowed, static_cast<size_t>(got) - allowed)) {
                    break;
                }
                answered += static_cast<size_t>(got) - allowed;
            }
        }
    }
    shutdown(client, SHUT_RDWR);
    shutdown(server, SHUT_RDWR);
}

}  // namespace VeskTest
