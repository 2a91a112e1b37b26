// Systems without the in-process servers (their libraries exist for Linux only): the tests reach the
// native server process instead, and the in-process kinds say so when asked for.
#include <stdexcept>

#include "HttpTestServer.h"

namespace VeskTest {
namespace {

[[noreturn]] void Absent(const char* what) {
    throw std::runtime_error(std::string(what) +
                             " runs in-process on Linux only; set VESK_HTTP_TEST_SERVER to a native test server");
}

}  // namespace

TestCertificates::TestCertificates() {
    Absent("TestCertificates");
}

TestCertificates::~TestCertificates() = default;

std::unique_ptr<HttpTestServer::Backend> StartLocalHttpTestServer(HttpTestServer::Security, const TestCertificates*) {
    Absent("HttpTestServer");
}

RawTestServer::RawTestServer(Responder respond, bool readBody) : respond_(std::move(respond)), readBody_(readBody) {
    Absent("RawTestServer");
}

RawTestServer::~RawTestServer() = default;

std::string RawTestServer::BaseUrl() const {
    return {};
}

std::vector<std::string> RawTestServer::Received() const {
    return {};
}

bool RawTestServer::Connection::Write(const std::string&) const {
    return false;
}

}  // namespace VeskTest
