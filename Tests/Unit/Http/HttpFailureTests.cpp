// How requests end when something goes wrong: cancellation, time-outs, dropped connections,
// certificates that must be refused, and servers that answer with nonsense.
#include <chrono>
#include <thread>

#include "HttpTestSupport.h"
#include "PlatformTestSupport.h"
#include "Support/LogCapture.h"

namespace VeskTest {
namespace {

using namespace Platform::Interfaces;
namespace Http = Platform::Network::Http;
using Clock = std::chrono::steady_clock;

// Sends a GET for path and waits for its task; the task, ended.
Core::Ptr<IAsyncTask> Get(IHttpClient* client, const std::string& path) {
    Core::Ptr<IHttpRequest2> request = HttpTest::NewRequest(client, path, HttpGet);
    Core::Ptr<IAsyncTask> task;
    EXPECT_TRUE(request->GetResponseAsync(task.Receive()));
    if (task) {
        HttpTest::WaitDone(task.GetUnchecked(), 30);
    }
    return task;
}

class HttpFailureTest : public HttpTest {
protected:
    HttpTestServer server_;
    Core::Ptr<IHttpClient> client_ = OpenClient(server_.BaseUrl());
};

TEST_F(HttpFailureTest, CancellingMidDownloadClosesTheRequest) {
    Core::Ptr<IHttpRequest2> request = NewRequest(client_.GetUnchecked(), "/slow?pieces=100&delay=50", HttpGet);
    Core::Ptr<IAsyncTask> task;
    ASSERT_TRUE(request->GetResponseAsync(task.Receive()));
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
    task->Cancel();
    EXPECT_TRUE(task->Wait(0));
    EXPECT_TRUE(task->IsCancelled());
    EXPECT_FALSE(task->IsFinished());
    EXPECT_TRUE(request->IsClosed());
    EXPECT_FALSE(request->IsCompleted());
    EXPECT_EQ(request->GetResponse(false), nullptr);

    // Through the task function, a cancelled request fails the outer task.
    Core::Ptr<IHttpRequest2> second = NewRequest(client_.GetUnchecked(), "/slow?pieces=100&delay=50", HttpGet);
    Core::Ptr<IAsyncTask> outer;
    ASSERT_TRUE(Platform_ReceiveSuccessfulHttpResponse(
        second.GetUnchecked(), [](IHttpRequest*, IHttpResponse*, Data::Structures::_VARIANT*, Core::IErrorCode**) {},
        outer.Receive(), nullptr));
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
    second->Close();
    ASSERT_TRUE(PumpUntilDone(outer.GetUnchecked()));
    EXPECT_EQ(outer->GetState(), TaskFailed);
    EXPECT_STREQ(outer->GetErrorMessage(), "Request was cancelled!");
}

// The request error of a cancelled transfer is routine and logged at DEBUG; a failed one at ERROR.
TEST_F(HttpFailureTest, CancelledTransfersAreLoggedQuietlyAndFailuresLoudly) {
    VeskTest::LogCapture capture;
    // A transfer that ended well is closed without any request error.
    Core::Ptr<IAsyncTask> fine = Get(client_.GetUnchecked(), "/text?size=3");
    ASSERT_TRUE(fine);
    ASSERT_EQ(fine->GetState(), TaskCompleted) << fine->GetErrorMessage();
    Core::Ptr<IHttpRequest2> request = NewRequest(client_.GetUnchecked(), "/slow?pieces=100&delay=50", HttpGet);
    Core::Ptr<IAsyncTask> task;
    ASSERT_TRUE(request->GetResponseAsync(task.Receive()));
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
    task->Cancel();
    // A stalled server hits the receive time-out, well before the wait for the task gives up.
    client_->SetReceiveTimeout(1000);
    const auto start = Clock::now();
    Core::Ptr<IAsyncTask> failed = Get(client_.GetUnchecked(), "/stall");
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->GetState(), TaskFailed);
    EXPECT_EQ(std::string(failed->GetErrorMessage()), Words().receiveTimeout);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
    const std::string text = capture.Text();
    const std::string line = "AsyncCallback: WINHTTP_CALLBACK_STATUS_REQUEST_ERROR [";
    EXPECT_NE(text.find("DEBUG: " + line + std::to_string(Words().cancelledCode) + "]: "), std::string::npos) << text;
    EXPECT_NE(text.find("ERROR: " + line + std::to_string(Words().timedOutCode) + "]: "), std::string::npos) << text;
    EXPECT_EQ(text.find("ERROR: " + line + std::to_string(Words().cancelledCode) + "]"), std::string::npos) << text;
    const size_t first = text.find(line);
    ASSERT_NE(first, std::string::npos);
    const size_t second = text.find(line, first + 1);
    ASSERT_NE(second, std::string::npos);
    EXPECT_EQ(text.find(line, second + 1), std::string::npos) << "one request error each, no more:\n" << text;
}

TEST_F(HttpFailureTest, AServerThatTakesNoBodyHitsTheSendTimeOut) {
    ScriptedTestServer deaf(ScriptedTestServer::Script::Deaf);
    Core::Ptr<IHttpClient> client = OpenClient(deaf.BaseUrl());
    client->SetSendTimeout(1000);
    Core::Ptr<IHttpRequestStream2> request = NewStreamRequest(client.GetUnchecked(), "/deaf", HttpPut);
    auto body = Core::MakeObject<PatternStream>(64ull << 20);
    ASSERT_TRUE(request->SetBodyStream(body.GetUnchecked(), nullptr));
    Core::Ptr<IAsyncTask> task;
    ASSERT_TRUE(request->SendAsync(task.Receive(), nullptr));
    ASSERT_TRUE(WaitDone(task.GetUnchecked()));
    EXPECT_EQ(task->GetState(), TaskFailed);
    EXPECT_EQ(std::string(task->GetErrorMessage()), Words().sendTimeout);
}

TEST_F(HttpFailureTest, TheReceiveTimeOutLimitsSilenceNotTheWholeDownload) {
    client_->SetReceiveTimeout(1000);
    Core::Ptr<IAsyncTask> task = Get(client_.GetUnchecked(), "/slow?pieces=25&delay=100");
    ASSERT_TRUE(task);
    ASSERT_EQ(task->GetState(), TaskCompleted) << task->GetErrorMessage();
    EXPECT_EQ(Platform::Threading::AsyncTask(task).ResultAs<IHttpResponse>()->GetBodySize(), 25u * 8u + 15u * 1u);
}

TEST_F(HttpFailureTest, GzipThatDoesNotDecompressFailsTheTask) {
    if (UnderWine()) {
        GTEST_SKIP() << "Wine's WinHTTP does not decode bodies (it lacks WINHTTP_OPTION_DECOMPRESSION)";
    }
    Core::Ptr<IAsyncTask> task = Get(client_.GetUnchecked(), "/badgzip");
    ASSERT_TRUE(task);
    EXPECT_EQ(task->GetState(), TaskFailed);
    EXPECT_NE(std::string(task->GetErrorMessage()).find(Words().badGzip), std::string::npos) << task->GetErrorMessage();
}

TEST_F(HttpFailureTest, AnUnreachableServerFailsTheTask) {
    const std::string url = server_.BaseUrl();
    server_.Stop();
    Core::Ptr<IHttpClient> client = OpenClient(url);
    Core::Ptr<IAsyncTask> task = Get(client.GetUnchecked(), "/text");
    ASSERT_TRUE(task);
    EXPECT_EQ(task->GetState(), TaskFailed);
    EXPECT_NE(std::string(task->GetErrorMessage()).find("onnect"), std::string::npos) << task->GetErrorMessage();
}

TEST_F(HttpFailureTest, OnlyTheDefaultAccessTypeUsesTheSystemsProxy) {
    if (OverWinHttp()) {
        GTEST_SKIP() << "WinHTTP's system proxy is the machine's WinHTTP setting, which a test must not change";
    }
    // The system's proxy setting names a port where nothing listens.
    SetEnvironment("http_proxy", "http://127.0.0.1:1");
    SetEnvironment("no_proxy", nullptr);
    SetEnvironment("NO_PROXY", nullptr);
    for (uint32_t access : {HttpAccessNoProxy, HttpAccessNamedProxy, HttpAccessDefaultProxy}) {
        Core::Ptr<IHttpClient> client = Http::CreateHttpClient();
        ASSERT_TRUE(client->Open("HttpClient/1.0", access));
        ASSERT_TRUE(client->ConnectUrl(server_.BaseUrl().c_str()));
        Core::Ptr<IAsyncTask> task = Get(client.GetUnchecked(), "/text?size=2");
        ASSERT_TRUE(task);
        EXPECT_EQ(task->GetState(), access == HttpAccessDefaultProxy ? TaskFailed : TaskCompleted)
            << access << ": " << task->GetErrorMessage();
    }
    SetEnvironment("http_proxy", nullptr);
}

class HttpTlsTest : public HttpTest {};

TEST_F(HttpTlsTest, OnlyTheTrustedAuthoritysCertificateOverTls12OrNewerIsAccepted) {
    using Security = HttpTestServer::Security;
    for (Security security : {Security::Tls, Security::TlsUntrusted, Security::TlsOtherHost, Security::TlsOnly11}) {
        SCOPED_TRACE(SecurityName(security));
        HttpTestServer server(security, Certificates());
        Core::Ptr<IHttpClient> client = OpenClient(server.BaseUrl());
        EXPECT_TRUE(client->IsSecure());
        Core::Ptr<IAsyncTask> task = Get(client.GetUnchecked(), "/text?size=4");
        ASSERT_TRUE(task);
        if (security == Security::Tls) {
            ASSERT_EQ(task->GetState(), TaskCompleted) << task->GetErrorMessage();
            EXPECT_EQ(BodyOf(Platform::Threading::AsyncTask(task).ResultAs<IHttpResponse>().GetUnchecked()), "abcd");
            continue;
        }
        EXPECT_EQ(task->GetState(), TaskFailed) << "a refused connection was accepted";
        const std::string message = task->GetErrorMessage();
        // Wine's WinHTTP reports every refused certificate as a secure-channel error, without the
        // reason that Windows gives; a TLS 1.1 refusal names no certificate anywhere.
        const bool named = message.find("certificate") != std::string::npos ||
                           message.find("host name") != std::string::npos || UnderWine() ||
                           security == Security::TlsOnly11;
        EXPECT_TRUE(named) << message;
        EXPECT_TRUE(server.Requests().empty()) << "the request went out over a refused connection";
    }
}

TEST_F(HttpFailureTest, MalformedHeadsFailTheTaskWithTheReason) {
    struct Case {
        const char* reply;
        const char* words;
    };
    const Case cases[] = {
        {"HELLO THERE\r\n\r\nbody", Words().malformedHeads[0]},
        {"HTTP/1.1 2x0 OK\r\nContent-Length: 2\r\n\r\nok", Words().malformedHeads[1]},
        {"HTTP/1.1 200 OK\r\nthis line has no colon\r\nContent-Length: 2\r\n\r\nok", Words().malformedHeads[2]},
        {"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nonly ten b", Words().droppedConnection.c_str()},
    };
    for (const Case& c : cases) {
        ScriptedTestServer canned(ScriptedTestServer::Script::Reply, c.reply);
        Core::Ptr<IHttpClient> client = OpenClient(canned.BaseUrl());
        Core::Ptr<IAsyncTask> task = Get(client.GetUnchecked(), "/");
        ASSERT_TRUE(task);
        EXPECT_EQ(task->GetState(), TaskFailed) << c.reply;
        EXPECT_NE(std::string(task->GetErrorMessage()).find(c.words), std::string::npos)
            << c.reply << " -> " << task->GetErrorMessage();
    }
}

TEST_F(HttpFailureTest, AnEndlessHeadIsCutOffAtItsLimit) {
    ScriptedTestServer endless(ScriptedTestServer::Script::EndlessHead);
    Core::Ptr<IHttpClient> client = OpenClient(endless.BaseUrl());
    Core::Ptr<IAsyncTask> task = Get(client.GetUnchecked(), "/");
    ASSERT_TRUE(task);
    EXPECT_EQ(task->GetState(), TaskFailed);
    EXPECT_EQ(std::string(task->GetErrorMessage()), Words().endlessHead);
}

TEST(HttpResponseHead, LinesSplitAtTheFirstColonAndLoseSurroundingSpace) {
    Http::ResponseHead head;
    std::string problem;
    EXPECT_TRUE(Http::ParseResponseHead(
        "HTTP/1.1 200 OK\r\nContent-Type: text/plain \r\nX-Time:\t12:30:00\r\nEmpty:\r\n\r\n", head, problem));
    EXPECT_EQ(problem, "");
    EXPECT_EQ(head.statusCode, 200u);
    EXPECT_EQ(head.headers.at("Response"), "HTTP/1.1 200 OK");
    EXPECT_EQ(head.headers.at("Content-Type"), "text/plain");
    EXPECT_EQ(head.headers.at("X-Time"), "12:30:00");
    EXPECT_EQ(head.headers.at("Empty"), "");
    EXPECT_EQ(head.headers.size(), 4u);

    EXPECT_TRUE(Http::ParseResponseHead("HTTP/2 404\r\n", head, problem));
    EXPECT_EQ(head.statusCode, 404u);
}

TEST(HttpResponseHead, BrokenHeadsAreNamedButParsedAsFarAsTheRulesGo) {
    Http::ResponseHead head;
    std::string problem;
    EXPECT_FALSE(Http::ParseResponseHead("HTTP/1.1 20 OK\r\nA: b\r\n", head, problem));
    EXPECT_EQ(problem, "Malformed status line: HTTP/1.1 20 OK");
    EXPECT_EQ(head.statusCode, 20u);
    EXPECT_EQ(head.headers.at("A"), "b");
    EXPECT_FALSE(Http::ParseResponseHead("HTTP/1.1 200 OK\r\nno colon here\r\n", head, problem));
    EXPECT_EQ(problem, "Malformed header line: no colon here");
    EXPECT_FALSE(Http::ParseResponseHead("HTTP/1.1 200 OK\r\nBad Name: x\r\n", head, problem));
    EXPECT_EQ(problem, "Malformed header line: Bad Name: x");
    EXPECT_FALSE(Http::ParseResponseHead("", head, problem));
    EXPECT_EQ(problem, "Empty response head");
}

}  // namespace
}  // namespace VeskTest
