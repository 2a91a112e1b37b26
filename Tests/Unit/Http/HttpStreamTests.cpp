// Streamed response bodies and streamed request bodies.
#include <mutex>

#include "HttpTestSupport.h"

namespace VeskTest {
namespace {

using namespace Platform::Interfaces;
namespace Http = Platform::Network::Http;

// The outcome of each queued read, in the order they ended.
class ReadLog final : public Core::ObjectT<Core::IObject> {
public:
    struct Read {
        uint32_t bytes;
        std::string error;
    };
    static void Callback(Core::IObject* context, Core::IErrorCode* error, uint32_t bytes) {
        auto* log = static_cast<ReadLog*>(context);
        std::lock_guard<std::mutex> lock(log->mutex_);
        log->reads_.push_back({bytes, error != nullptr ? error->GetMessage() : ""});
    }
    std::vector<Read> Reads() {
        std::lock_guard<std::mutex> lock(mutex_);
        return reads_;
    }
    // Queues one read of size bytes into buffer and waits for it; the bytes it gave.
    uint32_t ReadOnce(IAsyncStream* stream, char* buffer, uint64_t size) {
        EXPECT_TRUE(stream->QueueReadAsync(buffer, size, this, 0, &Callback, nullptr));
        EXPECT_TRUE(stream->WaitForCompletion(10000, false, false));
        const std::vector<Read> reads = Reads();
        return reads.empty() ? 0 : reads.back().bytes;
    }

private:
    ~ReadLog() override = default;
    std::mutex mutex_;
    std::vector<Read> reads_;
};

class HttpStreamTest : public HttpTest {
protected:
    // The streamed response to a GET of path; empty when the task failed.
    Core::Ptr<IAsyncStream> OpenStream(const std::string& path, Core::Ptr<IHttpRequest2>* keep = nullptr) {
        Core::Ptr<IHttpRequest2> request = NewRequest(client_.GetUnchecked(), path, HttpGet);
        Core::Ptr<IAsyncTask> task;
        Core::ErrorCode error;
        EXPECT_TRUE(request->GetResponseStreamAsync(task.Receive(), error.Receive())) << error.Message();
        if (!task || !WaitDone(task.GetUnchecked()) || task->GetState() != TaskCompleted) {
            ADD_FAILURE() << "no response head: " << (task ? task->GetErrorMessage() : "no task");
            return nullptr;
        }
        auto response = Platform::Threading::AsyncTask(task).ResultAs<IHttpResponse2>();
        Core::Ptr<IAsyncStream> stream;
        EXPECT_TRUE(response->GetBodyStream(stream.Receive(), nullptr));
        if (keep != nullptr) {
            *keep = request;
        }
        return stream;
    }

    HttpTestServer server_;
    Core::Ptr<IHttpClient> client_ = OpenClient(server_.BaseUrl());
};

TEST_F(HttpStreamTest, ALargeDownloadStreamsThroughOneBufferInBoundedMemory) {
    const uint64_t size = 128ull << 20;
    Core::Ptr<IAsyncStream> stream = OpenStream("/bytes?size=" + std::to_string(size));
    ASSERT_TRUE(stream);
    EXPECT_EQ(stream->GetSize(), size);
    EXPECT_TRUE(stream->IsReadable());
    EXPECT_FALSE(stream->IsWritable());
    EXPECT_FALSE(stream->IsSeekable());

    auto log = Core::MakeObject<ReadLog>();
    std::vector<char> buffer(256 * 1024);
    const uint64_t before = ResidentBytes();
    ASSERT_GT(before, 0u) << "the resident size of the process is unknown";
    uint64_t peak = before;
    uint64_t offset = 0;
    bool intact = true;
    for (int round = 0; round < 100000 && !stream->IsEndOfStream(); ++round) {
        const uint32_t bytes = log->ReadOnce(stream.GetUnchecked(), buffer.data(), buffer.size());
        ASSERT_EQ(log->Reads().back().error, "");
        intact = intact && MatchesPattern(buffer.data(), bytes, offset);
        offset += bytes;
        peak = std::max(peak, ResidentBytes());
    }
    EXPECT_TRUE(stream->IsEndOfStream());
    EXPECT_EQ(offset, size);
    EXPECT_TRUE(intact);
    // Half the body: far above what streaming holds (a few MiB), far below what holding the body takes.
    // AddressSanitizer keeps freed blocks resident in its quarantine, so its resident size says
    // nothing about what the client holds.
#if !defined(__SANITIZE_ADDRESS__)
    EXPECT_LT(peak - before, size / 2) << "the body was held in memory";
#endif
}

TEST_F(HttpStreamTest, TheHeadArrivesBeforeTheBody) {
    Core::Ptr<IHttpRequest2> request = NewRequest(client_.GetUnchecked(), "/slow?pieces=3&delay=200", HttpGet);
    Core::Ptr<IAsyncTask> task;
    ASSERT_TRUE(request->GetResponseStreamAsync(task.Receive(), nullptr));
    ASSERT_TRUE(WaitDone(task.GetUnchecked()));
    ASSERT_EQ(task->GetState(), TaskCompleted) << task->GetErrorMessage();
    auto response = Platform::Threading::AsyncTask(task).ResultAs<IHttpResponse2>();
    Core::Ptr<IHttpResponseStream> head;
    ASSERT_TRUE(response->GetHead(head.Receive(), nullptr));
    EXPECT_EQ(head->GetStatusCode(), 200u);
    EXPECT_TRUE(head->HasHeader("Transfer-Encoding"));
    EXPECT_FALSE(head->HasHeader("transfer-encoding"));
    EXPECT_STREQ(head->GetHeaderValue("Response", nullptr), "HTTP/1.1 200 OK");
    Core::ErrorCode missing;
    EXPECT_EQ(head->GetHeaderValue("X-Missing", missing.Receive()), nullptr);
    EXPECT_EQ(missing.Message(), "invalid unordered_map<K, T> key");
    Core::Ptr<IHttpHeaders> copy;
    ASSERT_TRUE(head->GetHeaders(copy.Receive(), nullptr));
    EXPECT_STREQ(copy->Get("Transfer-Encoding"), "chunked");
    // The body is still on its way: a buffered view has nothing, the stream has it all.
    EXPECT_EQ(response->GetBody(), nullptr);
    Core::Ptr<IAsyncStream> stream;
    ASSERT_TRUE(response->GetBodyStream(stream.Receive(), nullptr));
    EXPECT_FALSE(stream->IsEndOfStream());
    std::string body;
    std::vector<char> buffer(64);
    auto log = Core::MakeObject<ReadLog>();
    for (int i = 0; i < 100 && !stream->IsEndOfStream(); ++i) {
        body.append(buffer.data(), log->ReadOnce(stream.GetUnchecked(), buffer.data(), buffer.size()));
    }
    EXPECT_EQ(body, "piece-0;piece-1;piece-2;");
}

TEST_F(HttpStreamTest, QueuedBuffersMustNotOverlapAndCannotSeek) {
    Core::Ptr<IAsyncStream> stream = OpenStream("/bytes?size=300");
    ASSERT_TRUE(stream);
    std::vector<char> buffer(400);
    auto log = Core::MakeObject<ReadLog>();
    ASSERT_TRUE(stream->QueueReadAsync(buffer.data(), 100, log.GetUnchecked(), 0, &ReadLog::Callback, nullptr));
    ASSERT_TRUE(stream->QueueReadAsync(buffer.data() + 100, 100, log.GetUnchecked(), 0, &ReadLog::Callback, nullptr));
    Core::ErrorCode overlap;
    EXPECT_FALSE(
        stream->QueueReadAsync(buffer.data() + 50, 100, log.GetUnchecked(), 0, &ReadLog::Callback, overlap.Receive()));
    EXPECT_EQ(overlap.Message(),
              "Another buffer was already queued which overlaps with the buffer area that was provided! Queued reads "
              "must not have overlapped memory regions!");
    Core::ErrorCode seek;
    EXPECT_FALSE(
        stream->QueueReadAsync(buffer.data() + 200, 100, log.GetUnchecked(), 5, &ReadLog::Callback, seek.Receive()));
    EXPECT_EQ(seek.Message(), "fileOffset parameter must be 0 as stream seek is not supported!");
    Core::ErrorCode write;
    EXPECT_FALSE(stream->Write("x", 1, write.Receive()));
    EXPECT_EQ(write.Message(), "Stream is read only!");

    // The two reads are issued in queue order; together with later reads they give the whole body.
    ASSERT_TRUE(stream->WaitForCompletion(10000, false, false));
    std::vector<ReadLog::Read> reads = log->Reads();
    ASSERT_EQ(reads.size(), 2u);
    EXPECT_TRUE(MatchesPattern(buffer.data(), reads[0].bytes));
    uint64_t received = reads[0].bytes + reads[1].bytes;
    EXPECT_TRUE(MatchesPattern(buffer.data() + 100, reads[1].bytes, reads[0].bytes));
    while (!stream->IsEndOfStream()) {
        ASSERT_TRUE(stream->QueueReadAsync(buffer.data(), 400, log.GetUnchecked(), 0, &ReadLog::Callback, nullptr));
        ASSERT_TRUE(stream->WaitForCompletion(10000, true, false));
        received += log->Reads().back().bytes;
    }
    EXPECT_EQ(received, 300u);
}

TEST_F(HttpStreamTest, AClosedStreamTakesNoMoreReads) {
    Core::Ptr<IHttpRequest2> request;
    Core::Ptr<IAsyncStream> stream = OpenStream("/slow?pieces=50&delay=50", &request);
    ASSERT_TRUE(stream);
    std::vector<char> buffer(100);
    auto log = Core::MakeObject<ReadLog>();
    EXPECT_GT(log->ReadOnce(stream.GetUnchecked(), buffer.data(), 100), 0u);
    ASSERT_TRUE(stream->Close(nullptr));
    EXPECT_TRUE(request->IsClosed());
    Core::ErrorCode error;
    EXPECT_FALSE(
        stream->QueueReadAsync(buffer.data(), 100, log.GetUnchecked(), 0, &ReadLog::Callback, error.Receive()));
    EXPECT_EQ(error.Message(), "Async http stream request reference was dropped and cannot queue anymore reads!");
}

TEST_F(HttpStreamTest, AClosedRequestCancelsTheReadsStillQueued) {
    Core::Ptr<IHttpRequest2> request;
    Core::Ptr<IAsyncStream> stream = OpenStream("/slow?pieces=50&delay=50", &request);
    ASSERT_TRUE(stream);
    request->Close();
    std::vector<char> buffer(200);
    auto log = Core::MakeObject<ReadLog>();
    ASSERT_TRUE(stream->QueueReadAsync(buffer.data(), 100, log.GetUnchecked(), 0, &ReadLog::Callback, nullptr));
    ASSERT_TRUE(stream->QueueReadAsync(buffer.data() + 100, 100, log.GetUnchecked(), 0, &ReadLog::Callback, nullptr));
    ASSERT_TRUE(stream->WaitForCompletion(10000, false, false));
    const std::vector<ReadLog::Read> reads = log->Reads();
    ASSERT_EQ(reads.size(), 2u);
    for (const ReadLog::Read& read : reads) {
        EXPECT_EQ(read.error, "Request IO was cancelled!");
        EXPECT_EQ(read.bytes, 0u);
    }
}

class HttpUploadTest : public HttpStreamTest {};

TEST_F(HttpUploadTest, AKnownLengthIsAnnouncedAndGoesUpInPiecesOfAtMostTwentyMebibytes) {
    for (const auto& [method, size] : {std::pair<uint32_t, uint64_t>{HttpPost, 25ull << 20}, {HttpPut, 0}}) {
        SCOPED_TRACE(size);
        Core::Ptr<IHttpRequestStream2> request = NewStreamRequest(client_.GetUnchecked(), "/upload", method);
        auto body = Core::MakeObject<PatternStream>(size);
        ASSERT_TRUE(request->SetBodyStream(body.GetUnchecked(), nullptr));
        Core::Ptr<IAsyncTask> task;
        Core::ErrorCode error;
        ASSERT_TRUE(request->SendAsync(task.Receive(), error.Receive())) << error.Message();
        ASSERT_TRUE(WaitDone(task.GetUnchecked(), 60));
        ASSERT_EQ(task->GetState(), TaskCompleted) << task->GetErrorMessage();
        EXPECT_EQ(BodyOf(Platform::Threading::AsyncTask(task).ResultAs<IHttpResponse>().GetUnchecked()), "ok");

        const ReceivedRequest received = server_.LastRequest();
        EXPECT_EQ(received.method, Http::MethodVerb(method));
        EXPECT_EQ(received.Header("Content-Length"), std::to_string(size));
        ASSERT_EQ(received.body.size(), size);
        EXPECT_TRUE(MatchesPattern(received.body.data(), received.body.size()));
        if (size > 0) {
            ASSERT_EQ(body->reads.size(), 3u);
            EXPECT_EQ(body->reads[0].asked, 20971520u);
            EXPECT_EQ(body->reads[0].given, 20971520u);
            EXPECT_EQ(body->reads[1].given, 5u << 20);
            EXPECT_EQ(body->reads[2].given, 0u);
        }
    }
}

TEST_F(HttpUploadTest, AChunkedUploadSendsExactlyTheChunks) {
    if (UnderWine()) {
        GTEST_SKIP() << "Wine's WinHTTP adds \"Content-Length: 0\" to a request without a total length, which "
                        "contradicts chunked transfer encoding";
    }
    ScriptedTestServer raw(ScriptedTestServer::Script::Reply, "HTTP/1.1 201 Created\r\nContent-Length: 4\r\n\r\ndone");
    Core::Ptr<IHttpClient> client = OpenClient(raw.BaseUrl());
    Core::Ptr<IHttpRequestStream2> request = NewStreamRequest(client.GetUnchecked(), "/chunks", HttpPut);
    Core::Ptr<IHttpHeaders> headers = Http::CreateHttpHeaders();
    headers->Set("Transfer-Encoding", "Chunked");
    ASSERT_TRUE(request->SetHeaders(headers.GetUnchecked(), nullptr));
    Core::Ptr<IStream> body = Http::CreateMemoryStream("hello", 5, true, false);
    ASSERT_TRUE(request->SetBodyStream(body.GetUnchecked(), nullptr));
    Core::Ptr<IAsyncTask> task;
    ASSERT_TRUE(request->SendWriteOnly(task.Receive(), nullptr));
    ASSERT_TRUE(WaitDone(task.GetUnchecked()));
    ASSERT_EQ(task->GetState(), TaskCompleted) << task->GetErrorMessage();
    auto response = Platform::Threading::AsyncTask(task).ResultAs<IHttpResponse>();
    EXPECT_EQ(response->GetStatusCode(), 201u);
    EXPECT_EQ(BodyOf(response.GetUnchecked()), "done");

    const std::vector<std::string> received = raw.Received();
    ASSERT_EQ(received.size(), 1u);
    const std::string& request_ = received[0];
    EXPECT_EQ(request_.rfind("PUT /chunks HTTP/1.1\r\n", 0), 0u) << request_;
    const size_t headEnd = request_.find("\r\n\r\n");
    ASSERT_NE(headEnd, std::string::npos);
    EXPECT_EQ(request_.substr(headEnd + 4), "5\r\nhello\r\n0\r\n\r\n");
    EXPECT_EQ(request_.find("Content-Length"), std::string::npos);
    EXPECT_EQ(request_.find("Expect"), std::string::npos);
}

// The same framing seen by a real server: pieces of the body source become chunks that decode to
// the body, in order, with nothing announcing a length.
void ExpectChunkedUploadArrivesWhole(IHttpClient* client, const HttpTestServer& server, uint32_t method) {
    const uint64_t size = (20ull << 20) + 4097;
    Core::Ptr<IHttpRequestStream2> request = HttpTest::NewStreamRequest(client, "/upload", method);
    Core::Ptr<IHttpHeaders> headers = Http::CreateHttpHeaders();
    headers->Set("transfer-encoding", "CHUNKED");
    ASSERT_TRUE(request->SetHeaders(headers.GetUnchecked(), nullptr));
    auto body = Core::MakeObject<PatternStream>(size);
    ASSERT_TRUE(request->SetBodyStream(body.GetUnchecked(), nullptr));
    Core::Ptr<IAsyncTask> task;
    ASSERT_TRUE(request->SendAsync(task.Receive(), nullptr));
    ASSERT_TRUE(HttpTest::WaitDone(task.GetUnchecked(), 60));
    ASSERT_EQ(task->GetState(), TaskCompleted) << task->GetErrorMessage();
    const ReceivedRequest received = server.LastRequest();
    EXPECT_EQ(received.method, Http::MethodVerb(method));
    EXPECT_FALSE(received.HasHeader("Content-Length")) << received.Header("Content-Length");
    ASSERT_EQ(received.body.size(), size);
    EXPECT_TRUE(MatchesPattern(received.body.data(), received.body.size()));
    ASSERT_EQ(body->reads.size(), 3u);
    EXPECT_EQ(body->reads[1].given, 4097u);
}

TEST_F(HttpUploadTest, AChunkedUploadInSeveralPiecesArrivesWhole) {
    if (UnderWine()) {
        GTEST_SKIP() << "Wine's WinHTTP adds \"Content-Length: 0\" to a request without a total length, which "
                        "contradicts chunked transfer encoding";
    }
    for (uint32_t method : {HttpPut, HttpPost}) {
        SCOPED_TRACE(Http::MethodName(method));
        ExpectChunkedUploadArrivesWhole(client_.GetUnchecked(), server_, method);
    }
}

TEST(HttpMemoryStream, ReadsWritesAndPositionsStayInsideTheBuffer) {
    Core::Ptr<IStream> stream = Http::CreateMemoryStream("abcd", 4, true, false);
    char out[10] = {};
    ASSERT_TRUE(stream->SetPosition(1, nullptr));
    EXPECT_EQ(stream->Read(out, 10, nullptr), 3u);
    EXPECT_EQ(std::string(out, 3), "bcd");
    EXPECT_EQ(stream->GetPosition(), 4u);
    EXPECT_EQ(stream->Read(out, 10, nullptr), 0u);
    EXPECT_TRUE(stream->IsEndOfStream());
    EXPECT_TRUE(stream->SetPosition(4, nullptr));
    Core::ErrorCode beyond;
    EXPECT_FALSE(stream->SetPosition(5, beyond.Receive()));
    EXPECT_EQ(beyond.Message(), "Position must be smaller or equal to stream size which is 4 bytes! Position was 5");
    Core::ErrorCode readOnly;
    stream->Write("x", 1, readOnly.Receive());
    EXPECT_EQ(readOnly.Message(), "Stream is read only! Write operation is not supported");

    Core::Ptr<IStream> writable = Http::CreateMemoryStream(nullptr, 4, false, true);
    EXPECT_EQ(writable->Write("xyz", 3, nullptr), 3u);
    Core::ErrorCode full;
    writable->Write("xyz", 3, full.Receive());
    EXPECT_EQ(full.Message(), "Method not implemented!");
    Core::ErrorCode writeOnly;
    writable->Read(out, 1, writeOnly.Receive());
    EXPECT_EQ(writeOnly.Message(), "Stream is write only! Read operation is not supported");
    Core::ErrorCode size;
    EXPECT_FALSE(writable->SetSize(10, size.Receive()));
    EXPECT_EQ(size.Message(), "Method not implemented!");
}

}  // namespace
}  // namespace VeskTest
