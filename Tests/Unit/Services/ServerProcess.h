#pragma once
#include <string>
#include <vector>

namespace VeskTest {

// A vesk-server process on 127.0.0.1 and a free port, serving root, for the life of the object; it is
// stopped (SIGTERM, then SIGKILL) and waited for at the end.
class ServerProcess {
public:
    ServerProcess(const std::string& root, const std::vector<std::string>& extraArguments = {});
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    int Port() const { return port_; }
    // "http://127.0.0.1:<port>" followed by path.
    std::string Url(const std::string& path) const;

private:
    int pid_ = -1;
    int port_ = 0;
};

}  // namespace VeskTest
