// Buffered requests and responses against the loopback server: what the server receives, what the
// client hands back, and the tasks that carry results to the caller's thread.
#include <thread>

#include "Core/Guard.h"
#include "Core/Variant.h"
#include "HttpTestSupport.h"
#include "PlatformTestSupport.h"
#include "Support/TempFolder.h"

namespace VeskTest {
namespace {

using namespace Platform::Interfaces;
namespace Http = Platform::Network::Http;

TEST(HttpClientBaseUrl, PortsEightyAndFourFortyThreeAreLeftOut) {
    Core::Ptr<IHttpClient> client = Http::CreateHttpClient();
    ASSERT_TRUE(client->Open("agent", HttpAccessNoProxy));
    EXPECT_TRUE(client->ConnectUrl("http://example.test"));
    EXPECT_STREQ(client->GetBaseUrl(), "http://example.test");
    EXPECT_FALSE(client->IsSecure());
    EXPECT_TRUE(client->ConnectUrl("https://example.test:443"));
    client->SetSecure(true);
    EXPECT_STREQ(client->GetBaseUrl(), "https://example.test");
    EXPECT_TRUE(client->Connect("example.test", 8080));
    EXPECT_STREQ(client->GetBaseUrl(), "https://example.test:8080");
    client->SetSecure(false);
    EXPECT_STREQ(client->GetBaseUrl(), "http://example.test:8080");
}

TEST(HttpClientBaseUrl, RequestsNeedASessionAndAConnection) {
    Core::Ptr<IHttpClient> client = Http::CreateHttpClient();
    Core::Ptr<IAcceptTypes> types = Http::CreateAcceptTypes();
    Core::Ptr<IHttpRequest> request;
    Core::ErrorCode error;
    EXPECT_FALSE(client->Connect("example.test", 80));
    EXPECT_FALSE(client->CreateRequest("/", types.GetUnchecked(), HttpGet, request.Receive(), error.Receive()));
    EXPECT_EQ(error.Message(), "Invalid session");
    ASSERT_TRUE(client->Open("agent", HttpAccessNoProxy));
    Core::ErrorCode second;
    EXPECT_FALSE(client->CreateRequest("/", types.GetUnchecked(), HttpGet, request.Receive(), second.Receive()));
    EXPECT_EQ(second.Message(), "Invalid connection handle");
    EXPECT_EQ(client->GetConnectTimeout(), 60000u);
    EXPECT_EQ(client->GetReceiveTimeout(), 30000u);
    EXPECT_EQ(client->GetResolveTimeout(), 0u);
}

TEST(HttpHeaderSet, NamesAreExactAndMissingOnesAreRefused) {
    Core::Ptr<IHttpHeaders> headers = Http::CreateHttpHeaders();
    headers->Set("Name", "first");
    headers->Set("Name", "second");
    headers->Set("name", "lower");
    EXPECT_EQ(headers->GetCount(), 2u);
    EXPECT_STREQ(headers->Get("Name"), "second");
    EXPECT_STREQ(headers->Get("name"), "lower");
    EXPECT_NE(headers->GetName(0), nullptr);
    EXPECT_NE(headers->GetName(1), nullptr);
    EXPECT_EQ(headers->GetName(2), nullptr);
    try {
        headers->Get("NAME");
        ADD_FAILURE() << "a missing name was found";
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "invalid unordered_map<K, T> key");
    }
    Core::Ptr<IAcceptTypes> types = Http::CreateAcceptTypes();
    types->Add("a/b");
    types->Add("c/d");
    EXPECT_EQ(types->GetCount(), 2u);
    types->Clear();
    EXPECT_EQ(types->GetCount(), 0u);
    EXPECT_STREQ(Http::MethodName(HttpPatch), "Patch");
    EXPECT_STREQ(Http::MethodVerb(HttpOptions), "");
    EXPECT_STREQ(Http::MethodVerb(HttpPropfind), "PROPFIND");
    EXPECT_STREQ(Http::MethodName(11), "");
}

class HttpRequestTest : public HttpTest {
protected:
    HttpTestServer server_;
    Core::Ptr<IHttpClient> client_ = OpenClient(server_.BaseUrl());
};

TEST_F(HttpRequestTest, TheServerReceivesTheRequestLineHeadersAndNothingElse) {
    Core::Ptr<IHttpRequest2> request =
        NewRequest(client_.GetUnchecked(), "/text?size=26", HttpGet, {"application/json", "text/plain"});
    Core::Ptr<IHttpHeaders> headers = Http::CreateHttpHeaders();
    headers->Set("x-api-key", "secret key");
    headers->Set("X-Second", "two");
    ASSERT_TRUE(request->SetHeaders(headers.GetUnchecked()));
    Core::Ptr<IHttpResponse> response = Fetch(request.GetUnchecked());
    ASSERT_TRUE(response);
    EXPECT_EQ(response->GetStatusCode(), 200u);
    EXPECT_EQ(BodyOf(response.GetUnchecked()), "abcdefghijklmnopqrstuvwxyz");

    const ReceivedRequest received = server_.LastRequest();
    EXPECT_EQ(received.method, "GET");
    EXPECT_EQ(received.path, "/text?size=26");
    EXPECT_EQ(received.Header("User-Agent"), "HttpClient/1.0");
    EXPECT_EQ(received.Header("x-api-key"), "secret key");
    EXPECT_EQ(received.Header("X-Second"), "two");
    EXPECT_EQ(received.Header("Accept"), "application/json, text/plain");
    EXPECT_FALSE(received.HasHeader("Expect"));
    EXPECT_FALSE(received.HasHeader("Content-Length"));
    EXPECT_TRUE(request->IsCompleted());
}

TEST_F(HttpRequestTest, BodiesGoOutExactlyWithEveryMethodThatCarriesOne) {
    const std::string body("binary\0body\r\nwith every byte \xff", 31);
    for (uint32_t method : {HttpPost, HttpPut, HttpDelete, HttpPatch}) {
        Core::Ptr<IHttpRequest2> request = NewRequest(client_.GetUnchecked(), "/echo", method);
        request->SetBody(body.data(), body.size());
        EXPECT_EQ(request->GetBodySize(), body.size());
        Core::Ptr<IHttpResponse> response = Fetch(request.GetUnchecked());
        ASSERT_TRUE(response) << Http::MethodName(method);
        EXPECT_EQ(BodyOf(response.GetUnchecked()), body);
        const ReceivedRequest received = server_.LastRequest();
        EXPECT_EQ(received.method, Http::MethodVerb(method));
        EXPECT_EQ(received.body, body);
        EXPECT_EQ(received.Header("Content-Length"), std::to_string(body.size()));
        // Nothing the caller did not ask for: no form type for a body.
        EXPECT_FALSE(received.HasHeader("Content-Type")) << received.Header("Content-Type");
    }
}

TEST_F(HttpRequestTest, ABodyArrivingInManyReadsIsAppendedInOrder) {
    const size_t size = 3 * 1024 * 1024 + 17;
    Core::Ptr<IHttpRequest2> request =
        NewRequest(client_.GetUnchecked(), "/bytes?size=" + std::to_string(size), HttpGet);
    EXPECT_FALSE(request->IsCompleted());
    Core::Ptr<IHttpResponse> response = Fetch(request.GetUnchecked());
    ASSERT_TRUE(response);
    ASSERT_EQ(response->GetBodySize(), size);
    EXPECT_TRUE(MatchesPattern(static_cast<const char*>(response->GetBody()), size));
    EXPECT_STREQ(response->GetHeader("Content-Length"), std::to_string(size).c_str());
    EXPECT_EQ(response->GetHeader("No-Such-Header"), nullptr);

    Core::Ptr<IHttpRequest2> chunked = NewRequest(client_.GetUnchecked(), "/chunked?size=25000", HttpGet);
    Core::Ptr<IHttpResponse> pieces = Fetch(chunked.GetUnchecked());
    ASSERT_TRUE(pieces);
    ASSERT_EQ(pieces->GetBodySize(), 25000u);
    EXPECT_TRUE(MatchesPattern(static_cast<const char*>(pieces->GetBody()), 25000));

    Core::Ptr<IHttpRequest2> slow = NewRequest(client_.GetUnchecked(), "/slow?pieces=4&delay=30", HttpGet);
    Core::Ptr<IHttpResponse> slowly = Fetch(slow.GetUnchecked());
    ASSERT_TRUE(slowly);
    EXPECT_EQ(BodyOf(slowly.GetUnchecked()), "piece-0;piece-1;piece-2;piece-3;");
}

TEST_F(HttpRequestTest, CompressedBodiesArriveDecoded) {
    if (UnderWine()) {
        GTEST_SKIP() << "Wine's WinHTTP does not decode bodies (it lacks WINHTTP_OPTION_DECOMPRESSION)";
    }
    Core::Ptr<IHttpRequest2> gzip = NewRequest(client_.GetUnchecked(), "/gzip", HttpGet);
    Core::Ptr<IHttpResponse> decoded = Fetch(gzip.GetUnchecked());
    ASSERT_TRUE(decoded);
    std::string expected;
    for (int i = 0; i < 1000; ++i) {
        expected += "compressed body ";
    }
    EXPECT_EQ(BodyOf(decoded.GetUnchecked()), expected);
    EXPECT_EQ(decoded->GetHeader("Content-Encoding"), nullptr);
    EXPECT_NE(server_.LastRequest().Header("Accept-Encoding").find("gzip"), std::string::npos);
}

TEST_F(HttpRequestTest, RedirectsAreFollowed) {
    Core::Ptr<IHttpRequest2> redirect = NewRequest(client_.GetUnchecked(), "/redirect", HttpGet);
    Core::Ptr<IHttpResponse> followed = Fetch(redirect.GetUnchecked());
    ASSERT_TRUE(followed);
    EXPECT_EQ(followed->GetStatusCode(), 200u);
    EXPECT_EQ(BodyOf(followed.GetUnchecked()), "abcdefg");
    const std::vector<ReceivedRequest> received = server_.Requests();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].path, "/redirect");
    EXPECT_EQ(received[1].path, "/text?size=7");
}

TEST_F(HttpRequestTest, ResponseModesAndSendingAreOneShot) {
    Core::Ptr<IHttpRequest2> request = NewRequest(client_.GetUnchecked(), "/text?size=3", HttpGet);
    EXPECT_EQ(request->GetResponse(false), nullptr);
    EXPECT_TRUE(server_.Requests().empty()) << "GetResponse(false) must not send";
    EXPECT_TRUE(request->Send());
    EXPECT_FALSE(request->Send());
    Core::Ptr<IAsyncTask> task;
    Core::ErrorCode error;
    EXPECT_FALSE(request->GetResponseStreamAsync(task.Receive(), error.Receive()));
    EXPECT_EQ(error.Message(),
              "GetResponse or GetResponseAsync method was already called. GetResponseStreamAsync and GetResponseAsync "
              "are mutually exclusive and cannot be used on the same request!");
    request->WaitForResponse();
    Core::Ptr<IHttpResponse> response = Core::Ptr<IHttpResponse>::Adopt(request->GetResponse(false));
    ASSERT_TRUE(response);
    EXPECT_EQ(BodyOf(response.GetUnchecked()), "abc");
    EXPECT_TRUE(request->IsClosed());
    EXPECT_EQ(server_.Requests().size(), 1u);

    Core::Ptr<IHttpRequest2> streamed = NewRequest(client_.GetUnchecked(), "/text?size=3", HttpGet);
    Core::Ptr<IAsyncTask> streamTask;
    ASSERT_TRUE(streamed->GetResponseStreamAsync(streamTask.Receive(), nullptr));
    Core::ErrorCode again;
    Core::Ptr<IAsyncTask> second;
    EXPECT_FALSE(streamed->GetResponseStreamAsync(second.Receive(), again.Receive()));
    EXPECT_EQ(again.Message(),
              "Other GetResponse method was already called. GetResponseStreamAsync and GetResponseAsync are mutually "
              "exclusive!");
    EXPECT_EQ(streamed->GetResponse(true), nullptr);
    Core::Ptr<IAsyncTask> buffered;
    EXPECT_FALSE(streamed->GetResponseAsync(buffered.Receive()));
    ASSERT_TRUE(WaitDone(streamTask.GetUnchecked()));
}

TEST_F(HttpRequestTest, GetResponseAsyncCompletesWithTheResponse) {
    Core::Ptr<IHttpRequest2> request = NewRequest(client_.GetUnchecked(), "/text?size=5", HttpGet);
    Core::Ptr<IAsyncTask> task;
    ASSERT_TRUE(request->GetResponseAsync(task.Receive()));
    ASSERT_TRUE(WaitDone(task.GetUnchecked()));
    EXPECT_EQ(task->GetState(), TaskCompleted);
    Core::Ptr<IHttpResponse> response = Platform::Threading::AsyncTask(task).ResultAs<IHttpResponse>();
    EXPECT_EQ(BodyOf(response.GetUnchecked()), "abcde");
    // A second task on a completed request completes at once with the same response.
    Core::Ptr<IAsyncTask> again;
    ASSERT_TRUE(request->GetResponseAsync(again.Receive()));
    EXPECT_TRUE(again->Wait(0));
    EXPECT_EQ(Platform::Threading::AsyncTask(again).ResultAs<IHttpResponse>().GetUnchecked(), response.GetUnchecked());
}

// Records where and with what onResponse ran.
struct Seen {
    static inline std::thread::id thread;
    static inline int calls = 0;
    static inline std::string userData;
};

void MakeLength(IHttpRequest*, IHttpResponse* response, Data::Structures::_VARIANT* result, Core::IErrorCode**) {
    Seen::thread = std::this_thread::get_id();
    ++Seen::calls;
    Data::Variant value = Data::Variant::FromUInt64(response->GetBodySize());
    Data::Structures::VariantCopy(result, &value.Raw());
}

void RefuseResponse(IHttpRequest*, IHttpResponse*, Data::Structures::_VARIANT*, Core::IErrorCode** error) {
    ++Seen::calls;
    Core::StoreError(error, Core::kErrorCodeException, "the body did not please");
}

void WithUserData(IHttpRequest*, IHttpResponse* response, const Data::Structures::_VARIANT* userData,
                  Data::Structures::_VARIANT* result, Core::IErrorCode**) {
    Seen::userData = Data::Variant(*userData).ToString();
    Data::Variant value = Data::Variant::FromUInt64(response->GetStatusCode());
    Data::Structures::VariantCopy(result, &value.Raw());
}

TEST_F(HttpRequestTest, SuccessfulResponsesBecomeResultsOnTheCallersThread) {
    Seen::calls = 0;
    std::vector<Core::Ptr<IAsyncTask>> tasks;
    std::vector<Core::Ptr<IHttpRequest2>> requests;
    for (int i = 1; i <= 5; ++i) {
        requests.push_back(NewRequest(client_.GetUnchecked(), "/text?size=" + std::to_string(i * 10), HttpGet));
        Core::Ptr<IAsyncTask> task;
        Core::ErrorCode error;
        ASSERT_TRUE(Platform_ReceiveSuccessfulHttpResponse(requests.back().GetUnchecked(), &MakeLength, task.Receive(),
                                                           error.Receive()))
            << error.Message();
        tasks.push_back(task);
    }
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(PumpUntilDone(tasks[i].GetUnchecked()));
        EXPECT_EQ(tasks[i]->GetState(), TaskCompleted) << tasks[i]->GetErrorMessage();
        EXPECT_EQ(Platform::Threading::AsyncTask(tasks[i]).Result().ToString(), std::to_string((i + 1) * 10));
    }
    EXPECT_EQ(Seen::calls, 5);
    EXPECT_EQ(Seen::thread, std::this_thread::get_id());

    Core::Ptr<IHttpRequest2> withData = NewRequest(client_.GetUnchecked(), "/text", HttpGet);
    Data::Variant userData = Data::Variant::FromString("handed through");
    Core::Ptr<IAsyncTask> task;
    ASSERT_TRUE(Platform_ReceiveSuccessfulHttpResponse2(withData.GetUnchecked(), &WithUserData, &userData.Raw(),
                                                        task.Receive(), nullptr));
    ASSERT_TRUE(PumpUntilDone(task.GetUnchecked()));
    EXPECT_EQ(Seen::userData, "handed through");
    EXPECT_EQ(Platform::Threading::AsyncTask(task).Result().ToString(), "200");
}

TEST_F(HttpRequestTest, StatusCodesFromFourHundredFailWithTheBody) {
    for (int status : {404, 500}) {
        Seen::calls = 0;
        Core::Ptr<IHttpRequest2> request =
            NewRequest(client_.GetUnchecked(), "/status/" + std::to_string(status), HttpGet);
        Core::Ptr<IAsyncTask> task;
        ASSERT_TRUE(
            Platform_ReceiveSuccessfulHttpResponse(request.GetUnchecked(), &MakeLength, task.Receive(), nullptr));
        ASSERT_TRUE(PumpUntilDone(task.GetUnchecked()));
        EXPECT_EQ(task->GetState(), TaskFailed);
        EXPECT_EQ(std::string(task->GetErrorMessage()), "Request failed with status code " + std::to_string(status) +
                                                            " and message: status " + std::to_string(status) + " body");
        EXPECT_EQ(Seen::calls, 0);
    }
    Core::Ptr<IHttpRequest2> request = NewRequest(client_.GetUnchecked(), "/status/399", HttpGet);
    Core::Ptr<IAsyncTask> task;
    ASSERT_TRUE(
        Platform_ReceiveSuccessfulHttpResponse(request.GetUnchecked(), &RefuseResponse, task.Receive(), nullptr));
    ASSERT_TRUE(PumpUntilDone(task.GetUnchecked()));
    EXPECT_EQ(task->GetState(), TaskFailed);
    EXPECT_STREQ(task->GetErrorMessage(), "the body did not please");
}

TEST_F(HttpRequestTest, ManyConcurrentRequestsOnOneClientAllComplete) {
    constexpr int kCount = 40;
    std::vector<Core::Ptr<IHttpRequest2>> requests;
    std::vector<Core::Ptr<IAsyncTask>> tasks;
    for (int i = 0; i < kCount; ++i) {
        requests.push_back(
            NewRequest(client_.GetUnchecked(), "/bytes?size=" + std::to_string(1000 + i * 997), HttpGet));
        Core::Ptr<IAsyncTask> task;
        ASSERT_TRUE(requests.back()->GetResponseAsync(task.Receive()));
        tasks.push_back(task);
    }
    for (int i = 0; i < kCount; ++i) {
        ASSERT_TRUE(WaitDone(tasks[i].GetUnchecked()));
        ASSERT_EQ(tasks[i]->GetState(), TaskCompleted) << i;
        Core::Ptr<IHttpResponse> response = Platform::Threading::AsyncTask(tasks[i]).ResultAs<IHttpResponse>();
        ASSERT_EQ(response->GetBodySize(), 1000u + i * 997u);
        EXPECT_TRUE(MatchesPattern(static_cast<const char*>(response->GetBody()), response->GetBodySize())) << i;
    }
    EXPECT_EQ(server_.Requests().size(), static_cast<size_t>(kCount));
}

TEST_F(HttpRequestTest, AReleasedClientLetsItsRequestsFinish) {
    std::vector<Core::Ptr<IAsyncTask>> tasks;
    {
        Core::Ptr<IHttpClient> client = OpenClient(server_.BaseUrl());
        for (int i = 0; i < 5; ++i) {
            Core::Ptr<IHttpRequest2> request = NewRequest(client.GetUnchecked(), "/slow?pieces=3&delay=20", HttpGet);
            Core::Ptr<IAsyncTask> task;
            ASSERT_TRUE(request->GetResponseAsync(task.Receive()));
            tasks.push_back(task);
        }
    }
    for (const auto& task : tasks) {
        ASSERT_TRUE(WaitDone(task.GetUnchecked()));
        EXPECT_EQ(task->GetState(), TaskCompleted);
        EXPECT_EQ(BodyOf(Platform::Threading::AsyncTask(task).ResultAs<IHttpResponse>().GetUnchecked()),
                  "piece-0;piece-1;piece-2;");
    }
}

TEST_F(HttpRequestTest, ClosingTheClientEndsItsRequestsAsCancelled) {
    Core::Ptr<IHttpClient> client = OpenClient(server_.BaseUrl());
    Core::Ptr<IHttpRequest2> request = NewRequest(client.GetUnchecked(), "/slow?pieces=100&delay=100", HttpGet);
    Core::Ptr<IAsyncTask> task;
    ASSERT_TRUE(request->GetResponseAsync(task.Receive()));
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    client->Close();
    ASSERT_TRUE(WaitDone(task.GetUnchecked(), 10));
    EXPECT_TRUE(task->IsCancelled()) << task->GetState();
    Core::Ptr<IHttpRequest2> late;
    Core::ErrorCode error;
    Core::Ptr<IAcceptTypes> types = Http::CreateAcceptTypes();
    Core::Ptr<IHttpRequest> refused;
    EXPECT_FALSE(client->CreateRequest("/", types.GetUnchecked(), HttpGet, refused.Receive(), error.Receive()));
    EXPECT_EQ(error.Message(), "Invalid session");
}

TEST_F(HttpRequestTest, SavedBodiesAreTheBytesReceived) {
    Core::Ptr<IHttpRequest2> request = NewRequest(client_.GetUnchecked(), "/bytes?size=70000", HttpGet);
    Core::Ptr<IHttpResponse> response = Fetch(request.GetUnchecked());
    ASSERT_TRUE(response);
    TempFolder folder;
    const std::string path = folder.File("vesk-http-body.bin");
    ASSERT_TRUE(response->SaveToFile(path.c_str())) << path;
    const std::string saved = PlatformTest::ReadWholeFile(path);
    std::remove(path.c_str());
    ASSERT_EQ(saved.size(), 70000u);
    EXPECT_TRUE(MatchesPattern(saved.data(), saved.size()));

    Core::Ptr<IHttpRequest2> empty = NewRequest(client_.GetUnchecked(), "/text?size=0", HttpGet);
    Core::Ptr<IHttpResponse> nothing = Fetch(empty.GetUnchecked());
    ASSERT_TRUE(nothing);
    EXPECT_FALSE(nothing->SaveToFile(path.c_str()));
}

}  // namespace
}  // namespace VeskTest
