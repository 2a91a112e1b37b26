#pragma once
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "Core/ErrorCode.h"
#include "Core/Object.h"
#include "Core/Ptr.h"
#include "HttpTestServer.h"
#include "Platform/AsyncTask.h"
#include "Platform/HttpClient.h"
#include "Platform/IHttp.h"

namespace VeskTest {

using Platform::Interfaces::IAsyncTask;
using Platform::Interfaces::IHttpClient;
using Platform::Interfaces::IHttpRequest;
using Platform::Interfaces::IHttpRequest2;
using Platform::Interfaces::IHttpRequestStream;
using Platform::Interfaces::IHttpRequestStream2;
using Platform::Interfaces::IHttpResponse;
using Platform::Interfaces::IHttpResponse2;

// What the system's HTTP stack reports for the failures that the tests provoke: the client passes on
// the transport's own numbers and words.
struct TransportWords {
    int cancelledCode;              // a transfer closed on purpose
    int timedOutCode;               // a transfer that hit a time-out
    std::string receiveTimeout;     // the failure after 1000 ms without data
    std::string sendTimeout;        // the failure after 1000 ms in which the server took nothing
    std::string droppedConnection;  // words of the failure when the server hangs up mid-body
    std::string badGzip;            // words of the failure for a body that is no gzip (empty: any)
    // Words of the failure for a reply that is no HTTP, a status that is no number, a header line
    // without a colon.
    const char* malformedHeads[3];
    std::string endlessHead;  // the failure for a head without end
};
const TransportWords& Words();

// Trusts the test authority only (through OpenSSL's default verify paths) and keeps proxies out of
// loopback traffic; shared by every test of the binary.
class HttpTest : public ::testing::Test {
public:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    // The authority of the in-process TLS servers; null when the servers run in another process.
    static const TestCertificates* Certificates() { return certificates_; }

    // Whether the servers run in another process (where some in-process ones cannot follow).
    static bool ExternalServer() { return !HttpTestServer::ExternalControlUrl().empty(); }
    // Whether this process runs under Wine rather than on the system it was built for.
    static bool UnderWine();
    // Whether the client runs over WinHTTP (the Windows build) rather than libcurl.
    static bool OverWinHttp();
    // Sets (or with a null value removes) an environment variable of this process.
    static void SetEnvironment(const char* name, const char* value);

    static Core::Ptr<IHttpClient> OpenClient(const std::string& url);
    // A buffered request for path; fails the test when it cannot be created.
    static Core::Ptr<IHttpRequest2> NewRequest(IHttpClient* client, const std::string& path, uint32_t method,
                                               std::vector<std::string> acceptTypes = {});
    static Core::Ptr<IHttpRequestStream2> NewStreamRequest(IHttpClient* client, const std::string& path,
                                                           uint32_t method);
    // The response of request, waited for without pumping; null when none came.
    static Core::Ptr<IHttpResponse> Fetch(IHttpRequest* request);
    static std::string BodyOf(IHttpResponse* response);

    // Waits with pumping (so that handlers posted to this thread run) until task ends, at most
    // seconds; false (and a test failure) when it did not end in time.
    static bool PumpUntilDone(IAsyncTask* task, int seconds = 30);
    // A plain wait of at most seconds.
    static bool WaitDone(IAsyncTask* task, int seconds = 30);

private:
    static TestCertificates* certificates_;
};

// A read-only body source of pattern bytes that records how much each Read asked for and gave.
// Network thread only after sending.
class PatternStream final : public Core::ObjectT<Platform::Interfaces::IStream> {
public:
    explicit PatternStream(uint64_t size) : size_(size) {}

    uint64_t Read(void* buffer, uint64_t count, Core::IErrorCode**) override {
        const uint64_t n = std::min(count, size_ - position_);
        char* out = static_cast<char*>(buffer);
        for (uint64_t i = 0; i < n; ++i) {
            out[i] = PatternByte(position_ + i);
        }
        position_ += n;
        reads.push_back({count, n});
        return n;
    }
    uint64_t Write(const void*, uint64_t, Core::IErrorCode**) override { return 0; }
    uint64_t GetPosition() override { return position_; }
    bool SetPosition(uint64_t position, Core::IErrorCode**) override {
        position_ = position;
        return true;
    }
    uint64_t GetSize() override { return size_; }
    bool SetSize(uint64_t, Core::IErrorCode**) override { return false; }
    bool IsValid() override { return true; }
    bool IsReadable() override { return true; }
    bool IsWritable() override { return false; }
    bool IsEndOfStream() override { return position_ == size_; }

    struct ReadCall {
        uint64_t asked;
        uint64_t given;
    };
    std::vector<ReadCall> reads;

private:
    ~PatternStream() override = default;
    uint64_t size_;
    uint64_t position_ = 0;
};

// The resident memory of this process in bytes (0 when the system does not tell).
uint64_t ResidentBytes();

// True when text holds the pattern bytes from offset on.
bool MatchesPattern(const char* data, size_t size, uint64_t offset = 0);

}  // namespace VeskTest
