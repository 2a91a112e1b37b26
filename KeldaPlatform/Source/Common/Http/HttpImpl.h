#pragma once
// The HTTP client's objects: states and rules, independent of the system's HTTP stack, which they
// reach through the transport seam.
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "Common/Http/HttpTransport.h"
#include "Core/AsciiCase.h"
#include "Core/Object.h"
#include "Core/Ptr.h"
#include "Platform/AlertableEvent.h"
#include "Platform/AsyncTaskImpl.h"
#include "Platform/HttpClient.h"
#include "Platform/IHttp.h"

namespace Platform::Network::Http {

class HttpClientImpl;
class HttpRequestImpl;

namespace impl {

// Owner thread only.
class HttpHeadersImpl final : public Core::ObjectT<Interfaces::IHttpHeaders> {
public:
    void Set(const char* name, const char* value) override;
    const char* Get(const char* name) override;
    const char* GetName(uint64_t index) override;
    uint64_t GetCount() override { return values_.size(); }
    const std::unordered_map<std::string, std::string>& Values() const { return values_; }

private:
    ~HttpHeadersImpl() override = default;
    std::unordered_map<std::string, std::string> values_;
};

// Owner thread only.
class AcceptTypesImpl final : public Core::ObjectT<Interfaces::IAcceptTypes> {
public:
    uint64_t GetCount() override { return types_.size(); }
    void Clear() override { types_.clear(); }
    void Add(const char* mediaType) override;
    const std::vector<std::string>& Types() const { return types_; }

private:
    ~AcceptTypesImpl() override = default;
    std::vector<std::string> types_;
};

// A fixed-size byte stream with a position. Owner thread only; a response body is only appended to
// by the network thread before the response is handed out.
class MemoryStreamImpl final : public Core::ObjectT<Interfaces::IStream> {
public:
    MemoryStreamImpl(uint64_t size, bool readable, bool writable);

    uint64_t Read(void* buffer, uint64_t count, Core::IErrorCode** error) override;
    uint64_t Write(const void* data, uint64_t count, Core::IErrorCode** error) override;
    uint64_t GetPosition() override { return position_; }
    bool SetPosition(uint64_t position, Core::IErrorCode** error) override;
    uint64_t GetSize() override { return data_.size(); }
    bool SetSize(uint64_t size, Core::IErrorCode** error) override;
    bool IsValid() override { return true; }
    bool IsReadable() override { return readable_; }
    bool IsWritable() override { return writable_; }
    bool IsEndOfStream() override { return position_ == data_.size(); }

    // The client's own growth of a response body.
    void Append(const void* data, uint64_t count);
    void Reserve(uint64_t count) { data_.reserve(count); }
    const char* Data() const { return data_.data(); }

private:
    ~MemoryStreamImpl() override = default;
    std::vector<char> data_;
    uint64_t position_ = 0;
    bool readable_;
    bool writable_;
};

// The head of a response. Immutable after construction.
class HttpResponseStreamImpl final : public Core::ObjectT<Interfaces::IHttpResponseStream> {
public:
    explicit HttpResponseStreamImpl(ResponseHead head) : head_(std::move(head)) {}

    uint32_t GetStatusCode() override { return head_.statusCode; }
    bool GetHeaders(Interfaces::IHttpHeaders** headers, Core::IErrorCode** error) override;
    bool HasHeader(const char* name) override;
    const char* GetHeaderValue(const char* name, Core::IErrorCode** error) override;
    bool GetObject(Core::IObject** object, Core::IErrorCode** error) override;
    // The value, or null when absent.
    const char* Find(const char* name) const;

private:
    ~HttpResponseStreamImpl() override = default;
    ResponseHead head_;
};

// The queued reads of a streamed body and their completions. Shared by the stream object (the
// reader's side) and its request (the network side), so that neither keeps the other alive.
// Safe for concurrent use; the mutex guards the entries and the in-flight address.
class AsyncStreamState {
public:
    struct Entry {
        char* address = nullptr;
        uint32_t length = 0;
        Core::Ptr<Core::IObject> context;
        bool done = false;
        Interfaces::AsyncReadCallback callback = nullptr;
    };

    // Network side.
    void OnReadCompleted(void* buffer, uint32_t bytes);
    // The read in flight ends with message (a failed or closed request); later reads fail at once.
    void OnReadFailed(int32_t code, const std::string& message);
    void MarkCancelled() { cancelled_.store(true); }

    std::atomic<bool> cancelled_{false};
    std::atomic<bool> endOfStream_{false};
    std::atomic<bool> busy_{false};
    Threading::AlertableEvent readEvent_;
    std::mutex mutex_;
    std::map<uintptr_t, Entry> entries_;
    std::deque<uintptr_t> order_;
    uintptr_t inFlight_ = 0;
    int32_t failureCode_ = 0;
    std::string failure_;  // the message of a failed request
};

// A read-only stream over a response body that is still arriving. Safe for concurrent use: reads are
// issued by the one thread that waits, completions run on the network thread; requestMutex_ guards
// the request it reads from.
class AsyncStreamImpl final : public Core::ObjectT<Interfaces::IAsyncStream> {
public:
    AsyncStreamImpl(Core::Ptr<HttpRequestImpl> request, std::shared_ptr<Transport::Transfer> transfer,
                    std::shared_ptr<AsyncStreamState> state, uint64_t contentLength);

    bool QueueReadAsync(void* buffer, uint64_t size, Core::IObject* context, uint64_t fileOffset,
                        Interfaces::AsyncReadCallback callback, Core::IErrorCode** error) override;
    bool Write(const void* data, uint64_t size, Core::IErrorCode** error) override;
    bool WaitForCompletion(uint32_t timeoutMs, bool pumpMessages, bool dispatchMessages) override;
    bool Close(Core::IErrorCode** error) override;
    uint64_t GetSize() override { return contentLength_; }
    bool IsWritable() override { return false; }
    bool IsReadable() override { return true; }
    bool IsSeekable() override { return false; }
    bool IsEndOfStream() override { return state_->endOfStream_.load(); }

private:
    ~AsyncStreamImpl() override;

    std::mutex requestMutex_;  // guards request_ and transfer_
    Core::Ptr<HttpRequestImpl> request_;
    std::shared_ptr<Transport::Transfer> transfer_;
    std::shared_ptr<AsyncStreamState> state_;
    const uint64_t contentLength_;
};

// A complete response: head and a buffered or streamed body. Immutable once handed out.
class HttpResponseImpl final : public Core::ObjectT<Interfaces::IHttpResponse2> {
public:
    HttpResponseImpl(Core::Ptr<HttpResponseStreamImpl> head, Core::Ptr<MemoryStreamImpl> body)
        : head_(std::move(head)), body_(std::move(body)) {}
    HttpResponseImpl(Core::Ptr<HttpResponseStreamImpl> head, Core::Ptr<AsyncStreamImpl> stream)
        : head_(std::move(head)), stream_(std::move(stream)) {}

    uint32_t GetStatusCode() override { return head_->GetStatusCode(); }
    bool SaveToFile(const char* path) override;
    uint64_t GetBodySize() override;
    const void* GetBody() override;
    const char* GetHeader(const char* name) override { return head_->Find(name); }
    bool GetHead(Interfaces::IHttpResponseStream** head, Core::IErrorCode** error) override;
    bool GetBodyStream(Interfaces::IAsyncStream** stream, Core::IErrorCode** error) override;

    MemoryStreamImpl* Body() const { return body_.GetUnchecked(); }

private:
    ~HttpResponseImpl() override = default;
    Core::Ptr<HttpResponseStreamImpl> head_;
    Core::Ptr<MemoryStreamImpl> body_;
    Core::Ptr<AsyncStreamImpl> stream_;
};

}  // namespace impl

// A task that waits for a request: cancelling it closes the request first. Safe for concurrent use;
// mutex_ guards the closing function.
class HttpAsyncTaskImpl final : public Threading::impl::AsyncTaskImpl {
public:
    explicit HttpAsyncTaskImpl(std::function<void()> closeRequest) : closeRequest_(std::move(closeRequest)) {}
    void Cancel() override;
    // Lets go of the request (which holds the closing function's reference).
    void DropRequest();

private:
    ~HttpAsyncTaskImpl() override = default;
    std::mutex mutex_;  // guards closeRequest_
    std::function<void()> closeRequest_;
};

// What the buffered and the streamed request share: the transfer, the reference the transfer holds
// on the request, the task, and the end-of-body rule.
struct RequestCore {
    std::shared_ptr<Transport::Transfer> transfer;  // null once closed
    std::atomic<bool> closed{false};
    uint32_t method = 0;
    std::vector<char> receiveBuffer;
    Core::Ptr<impl::HttpResponseImpl> response;
    Core::Ptr<HttpClientImpl> client;
    Core::Ptr<Interfaces::IAsyncTask> task;
    bool completed = false;
    bool sent = false;
    uint64_t contentLength = 0;  // from the response head; 0 when absent
};

// The core's transfer as it is now, read under its owner's lock; null once the request is closed.
inline std::shared_ptr<Transport::Transfer> CurrentTransfer(std::mutex& mutex, const RequestCore& core) {
    std::lock_guard<std::mutex> lock(mutex);
    return core.transfer;
}

// A request with a buffered body. Safe for concurrent use: the network thread completes it while
// its owner waits; stateMutex_ guards the core's fields, the handlers, the mode and the stream.
class HttpRequestImpl final : public Core::ObjectT<Interfaces::IHttpRequest2>, private Transport::ITransferSink {
public:
    HttpRequestImpl(std::shared_ptr<Transport::Transfer> transfer, uint32_t method, Core::Ptr<HttpClientImpl> client);

    bool SetHeaders(Interfaces::IHttpHeaders* headers) override;
    void SetBody(const void* data, uint64_t size) override;
    uint64_t GetBodySize() override;
    const void* GetBody() override;
    bool Send() override;
    bool Close() override;
    bool IsCompleted() override;
    bool IsClosed() override;
    Interfaces::IHttpResponse* GetResponse(bool wait) override;
    bool GetResponseAsync(Interfaces::IAsyncTask** task) override;
    void SetResponseHandler(Interfaces::HttpResponseHandler handler) override;
    void SetContext(uint64_t value) override;
    void WaitForResponse() override;
    void SetTask(Interfaces::IAsyncTask* task) override;
    Interfaces::IAsyncTask* GetTask() override;
    bool GetResponseStreamAsync(Interfaces::IAsyncTask** task, Core::IErrorCode** error) override;

    // GetResponseAsync with callback registered on the task before the request goes out, so that
    // no completion can slip past it.
    Core::Ptr<Interfaces::IAsyncTask> StartResponseTask(Interfaces::IAsyncTaskStatusCallback* callback);
    // The stream's reader let go: stop feeding it.
    void DetachStream();

private:
    ~HttpRequestImpl() override;

    bool SendRequestInternal();
    void ReadData();
    void CloseTransfer();
    void FailTask(const std::string& message);

    void OnSendRequestComplete() override;
    void OnWriteComplete() override {}
    void OnHeadersAvailable() override;
    void OnReadComplete(void* buffer, uint32_t bytes) override;
    void OnRequestError(const Transport::TransferError& error) override;
    void OnHandleClosing() override;

    std::mutex stateMutex_;
    RequestCore core_;
    Core::Ptr<HttpRequestImpl> transportReference_;
    Threading::AlertableEvent done_;
    Interfaces::HttpResponseHandler responseHandler_ = nullptr;
    Interfaces::HttpResponseHandler streamHandler_ = nullptr;
    uint64_t context_ = 0;
    std::vector<char> body_;
    uint32_t mode_ = 0;
    std::shared_ptr<impl::AsyncStreamState> stream_;
};

// A request whose body is pulled from a stream and uploaded in pieces of at most 20 MiB. Safe for
// concurrent use; stateMutex_ guards the core's fields and the body source.
class HttpRequestStreamImpl final : public Core::ObjectT<Interfaces::IHttpRequestStream2>,
                                    private Transport::ITransferSink {
public:
    HttpRequestStreamImpl(std::shared_ptr<Transport::Transfer> transfer, uint32_t method,
                          Core::Ptr<HttpClientImpl> client);

    bool SetHeaders(Interfaces::IHttpHeaders* headers, Core::IErrorCode** error) override;
    bool SetBodyStream(Interfaces::IStream* body, Core::IErrorCode** error) override;
    bool SendAsync(Interfaces::IAsyncTask** task, Core::IErrorCode** error) override;
    void Close() override;
    bool SendWriteOnly(Interfaces::IAsyncTask** task, Core::IErrorCode** error) override;

    static constexpr uint64_t kSendBufferSize = 20971520;

private:
    ~HttpRequestStreamImpl() override;

    bool SendRequestInternal();
    void WriteData();
    void ReadData();
    void CloseTransfer();
    void EndTask(uint32_t state, const std::string& message);

    void OnSendRequestComplete() override;
    void OnWriteComplete() override { WriteData(); }
    void OnHeadersAvailable() override;
    void OnReadComplete(void* buffer, uint32_t bytes) override;
    void OnRequestError(const Transport::TransferError& error) override;
    void OnHandleClosing() override;

    std::mutex stateMutex_;
    RequestCore core_;
    Core::Ptr<HttpRequestStreamImpl> transportReference_;
    Core::Ptr<Interfaces::IStream> body_;
    std::unique_ptr<char[]> sendBuffer_;  // allocated at the first piece, left uninitialised
    bool chunked_ = false;
    bool writeOnly_ = false;
    bool streamed_ = false;  // the body goes out in pieces written after sending
};

// One session with one server. Safe for concurrent use; mutex_ guards every field.
class HttpClientImpl final : public Core::ObjectT<Interfaces::IHttpClient> {
public:
    HttpClientImpl() = default;

    bool Open(const char* userAgent, uint32_t accessType) override;
    void Close() override;
    bool Connect(const char* host, uint32_t port) override;
    bool ConnectUrl(const char* url) override;
    void Disconnect() override;
    void SetSecure(bool secure) override;
    bool IsSecure() override;
    bool CreateRequest(const char* path, Interfaces::IAcceptTypes* acceptTypes, uint32_t method,
                       Interfaces::IHttpRequest** request, Core::IErrorCode** error) override;
    void SetResolveTimeout(uint32_t ms) override;
    void SetConnectTimeout(uint32_t ms) override;
    void SetSendTimeout(uint32_t ms) override;
    void SetReceiveTimeout(uint32_t ms) override;
    uint32_t GetResolveTimeout() override;
    uint32_t GetConnectTimeout() override;
    uint32_t GetSendTimeout() override;
    uint32_t GetReceiveTimeout() override;
    const char* GetUserAgent() override;
    const char* GetBaseUrl() override;
    bool CreateStreamRequest(const char* path, Interfaces::IAcceptTypes* acceptTypes, uint32_t method,
                             Interfaces::IHttpRequestStream** request, Core::IErrorCode** error) override;

private:
    ~HttpClientImpl() override;

    // The transfer for a new request (raising "Invalid session" / "Invalid connection handle").
    std::shared_ptr<Transport::Transfer> OpenTransfer(const char* path, Interfaces::IAcceptTypes* acceptTypes,
                                                      uint32_t method);
    void RebuildBaseUrl();

    std::mutex mutex_;
    Transport::SessionSettings settings_;
    std::shared_ptr<Transport::Session> session_;
    bool connected_ = false;
    bool secure_ = false;
    std::string host_;
    uint32_t port_ = 0;
    std::string baseUrl_;
};

// ASCII comparison without regard to letter case.
inline bool EqualsNoCase(std::string_view a, std::string_view b) {
    return Core::EqualsIgnoringAsciiCase(a, b);
}

namespace detail {
uint64_t ContentLengthOf(const ResponseHead& head, bool& present);
bool BodyComplete(uint32_t method, const ResponseHead& head, uint64_t contentLength, uint64_t size);
// The header set as request header lines; chunked (when given) tells whether they ask for chunked
// transfer encoding.
std::string HeaderLines(Interfaces::IHttpHeaders* headers, bool* chunked);
// Queries the transfer's response head into head; returns an empty text, or what is wrong with it. A
// transfer without a head is also told to logQueryFailure, as a failed header query.
std::string ReadResponseHead(Transport::Transfer& transfer, ResponseHead& head,
                             const std::function<void(const std::string&)>& logQueryFailure);
}  // namespace detail

}  // namespace Platform::Network::Http
