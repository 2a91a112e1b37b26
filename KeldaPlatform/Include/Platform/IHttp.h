#pragma once
#include <cstdint>

#include "Platform/IAsyncTask.h"
#include "Vesk/Core/IErrorCode.h"

namespace Platform::Interfaces {

// The request methods; the value is also the index of the method's name in log lines.
enum HttpMethod : uint32_t {
    HttpGet = 0,
    HttpPost = 1,
    HttpHead = 2,
    HttpPut = 3,
    HttpDelete = 4,
    HttpConnect = 5,
    HttpOptions = 6,
    HttpTrace = 7,
    HttpPatch = 8,
    // WebDAV (RFC 4918): the storage service lists folders and makes them with these.
    HttpPropfind = 9,
    HttpMkcol = 10,
};

// Proxy use of a client session.
enum HttpAccessType : uint32_t {
    HttpAccessNoProxy = 0,
    HttpAccessDefaultProxy = 1,
    HttpAccessNamedProxy = 2,
};

// A set of request headers: name to value, names compared with their letter case.
struct IHttpHeaders : Core::IObject {
    // Inserts name or replaces its value.
    virtual void Set(const char* name, const char* value) = 0;
    // The value of name, owned by the set; throws "invalid unordered_map<K, T> key" when absent.
    virtual const char* Get(const char* name) = 0;
    // The name at index in the set's own order (which callers must not rely on); null past the end.
    virtual const char* GetName(uint64_t index) = 0;
    virtual uint64_t GetCount() = 0;
};

// The media types a request accepts, in the order they were added.
struct IAcceptTypes : Core::IObject {
    virtual uint64_t GetCount() = 0;
    virtual void Clear() = 0;
    virtual void Add(const char* mediaType) = 0;
};

// A byte stream with a position (a request body source, a buffered response body).
struct IStream : Core::IObject {
    // Copies up to count bytes from the position and advances it; gives the count (0 at the end).
    virtual uint64_t Read(void* buffer, uint64_t count, Core::IErrorCode** error) = 0;
    // Copies count bytes at the position and advances it; never grows the stream.
    virtual uint64_t Write(const void* data, uint64_t count, Core::IErrorCode** error) = 0;
    virtual uint64_t GetPosition() = 0;
    // Fails when position is beyond the size.
    virtual bool SetPosition(uint64_t position, Core::IErrorCode** error) = 0;
    virtual uint64_t GetSize() = 0;
    virtual bool SetSize(uint64_t size, Core::IErrorCode** error) = 0;
    virtual bool IsValid() = 0;
    virtual bool IsReadable() = 0;
    virtual bool IsWritable() = 0;
    virtual bool IsEndOfStream() = 0;
};

// Told when one queued read ends: the caller's context, an error (null on success; borrowed for the
// call) and the number of bytes read (0 at the end of the stream).
using AsyncReadCallback = void (*)(Core::IObject* context, Core::IErrorCode* error, uint32_t bytes);

// A read-only stream over a response body that is still arriving. The caller queues buffers, then
// waits for them to be filled; callbacks run on the client's network thread.
struct IAsyncStream : Core::IObject {
    // Queues buffer for one read (split into pieces of at most 0xFFFFFFFF bytes); context gains a
    // reference until the read ends. Fails while a wait runs, for a non-zero offset, when the
    // request is gone and when the buffer overlaps one already queued.
    virtual bool QueueReadAsync(void* buffer, uint64_t size, Core::IObject* context, uint64_t fileOffset,
                                AsyncReadCallback callback, Core::IErrorCode** error) = 0;
    // Always fails: the stream is read only.
    virtual bool Write(const void* data, uint64_t size, Core::IErrorCode** error) = 0;
    // Issues the queued reads one at a time and waits for each; false when a wait timed out (the
    // rest stay queued) or another wait is running.
    virtual bool WaitForCompletion(uint32_t timeoutMs, bool pumpMessages, bool dispatchMessages) = 0;
    // Lets go of the request.
    virtual bool Close(Core::IErrorCode** error) = 0;
    // The response's Content-Length, 0 when it had none.
    virtual uint64_t GetSize() = 0;
    virtual bool IsWritable() = 0;
    virtual bool IsReadable() = 0;
    virtual bool IsSeekable() = 0;
    // True once a read completed with 0 bytes.
    virtual bool IsEndOfStream() = 0;
};

// The head of a response: the status code and the header map (the status line under "Response").
struct IHttpResponseStream : Core::IObject {
    virtual uint32_t GetStatusCode() = 0;
    // A copy of the header map as a new header set owned by the caller.
    virtual bool GetHeaders(IHttpHeaders** headers, Core::IErrorCode** error) = 0;
    virtual bool HasHeader(const char* name) = 0;
    // The value owned by the head; fails with "invalid unordered_map<K, T> key" when absent.
    virtual const char* GetHeaderValue(const char* name, Core::IErrorCode** error) = 0;
    // The head itself for an interface cast by the caller; a new reference.
    virtual bool GetObject(Core::IObject** object, Core::IErrorCode** error) = 0;
};

// A complete response: head and body.
struct IHttpResponse : Core::IObject {
    virtual uint32_t GetStatusCode() = 0;
    // Writes the whole body to a new or truncated file; false for an empty body or a failed write.
    virtual bool SaveToFile(const char* path) = 0;
    virtual uint64_t GetBodySize() = 0;
    // The body bytes, owned by the response; null for a streamed body.
    virtual const void* GetBody() = 0;
    // The value owned by the response, or null when the header is absent.
    virtual const char* GetHeader(const char* name) = 0;
};

// A response whose body may be a stream.
struct IHttpResponse2 : IHttpResponse {
    // The head with a new reference.
    virtual bool GetHead(IHttpResponseStream** head, Core::IErrorCode** error) = 0;
    // The streamed body (requests answered through GetResponseStreamAsync) with a new reference;
    // fails for a buffered body.
    virtual bool GetBodyStream(IAsyncStream** stream, Core::IErrorCode** error) = 0;
};

struct IHttpRequest;
// Told when a request's response is complete, or with a null response when the request is closed.
using HttpResponseHandler = void (*)(IHttpRequest* request, IHttpResponse* response);

// A request with a buffered body whose response is collected in memory (or streamed, through
// IHttpRequest2). Safe for concurrent use: the network thread completes it while the caller waits.
struct IHttpRequest : Core::IObject {
    // False for a null or empty set; else adds every header to the request.
    virtual bool SetHeaders(IHttpHeaders* headers) = 0;
    virtual void SetBody(const void* data, uint64_t size) = 0;
    virtual uint64_t GetBodySize() = 0;
    virtual const void* GetBody() = 0;
    // Sends for a buffered response; false when a response mode was chosen already or sending fails.
    virtual bool Send() = 0;
    // Ends the request: a set response handler is told with a null response; true when an open
    // transfer was closed.
    virtual bool Close() = 0;
    virtual bool IsCompleted() = 0;
    virtual bool IsClosed() = 0;
    // The response with a new reference, or null: before completion when wait is false, when none
    // arrived, and after GetResponseStreamAsync.
    virtual IHttpResponse* GetResponse(bool wait) = 0;
    // A task whose result is the response; false after GetResponseStreamAsync or when sending fails.
    virtual bool GetResponseAsync(IAsyncTask** task) = 0;
    virtual void SetResponseHandler(HttpResponseHandler handler) = 0;
    virtual void SetContext(uint64_t value) = 0;
    // Sends when not yet sent and blocks until the response is complete or the request failed.
    virtual void WaitForResponse() = 0;
    virtual void SetTask(IAsyncTask* task) = 0;
    // The stored task with a new reference, or null.
    virtual IAsyncTask* GetTask() = 0;
};

struct IHttpRequest2 : IHttpRequest {
    // A task that completes with the response as soon as its head arrived; its body is read through
    // IHttpResponse2::GetBodyStream. Fails after GetResponse, GetResponseAsync or a second call.
    virtual bool GetResponseStreamAsync(IAsyncTask** task, Core::IErrorCode** error) = 0;
};

// A request whose body is pulled from a stream and uploaded in pieces of at most 20 MiB.
struct IHttpRequestStream : Core::IObject {
    // Adds the headers; "Transfer-Encoding: chunked" (any letter case) switches to chunked upload.
    virtual bool SetHeaders(IHttpHeaders* headers, Core::IErrorCode** error) = 0;
    // Takes a reference to the body source, releasing the previous one.
    virtual bool SetBodyStream(IStream* body, Core::IErrorCode** error) = 0;
    // Sends; the task ends with the buffered response as its result.
    virtual bool SendAsync(IAsyncTask** task, Core::IErrorCode** error) = 0;
    virtual void Close() = 0;
};

struct IHttpRequestStream2 : IHttpRequestStream {
    // As SendAsync, but the response is only asked for once the whole body has been written.
    virtual bool SendWriteOnly(IAsyncTask** task, Core::IErrorCode** error) = 0;
};

// One session with one server. Safe for concurrent use; requests keep their client alive.
struct IHttpClient : Core::IObject {
    // Stores the user agent and opens a new session; false when it cannot be opened.
    virtual bool Open(const char* userAgent, uint32_t accessType) = 0;
    // Closes the session; transfers still running end as cancelled.
    virtual void Close() = 0;
    // Stores host and port for later requests; false without a session.
    virtual bool Connect(const char* host, uint32_t port) = 0;
    // "http://host[:port]" or "https://host[:port]"; false without a session.
    virtual bool ConnectUrl(const char* url) = 0;
    virtual void Disconnect() = 0;
    virtual void SetSecure(bool secure) = 0;
    virtual bool IsSecure() = 0;
    // A new request (owned by the caller) for path on the connected server.
    virtual bool CreateRequest(const char* path, IAcceptTypes* acceptTypes, uint32_t method, IHttpRequest** request,
                               Core::IErrorCode** error) = 0;
    // Time-outs in milliseconds (0: none); they apply to the next Open and to later requests.
    virtual void SetResolveTimeout(uint32_t ms) = 0;
    virtual void SetConnectTimeout(uint32_t ms) = 0;
    virtual void SetSendTimeout(uint32_t ms) = 0;
    virtual void SetReceiveTimeout(uint32_t ms) = 0;
    virtual uint32_t GetResolveTimeout() = 0;
    virtual uint32_t GetConnectTimeout() = 0;
    virtual uint32_t GetSendTimeout() = 0;
    virtual uint32_t GetReceiveTimeout() = 0;
    // Owned by the client.
    virtual const char* GetUserAgent() = 0;
    virtual const char* GetBaseUrl() = 0;
    // A new streamed-upload request (owned by the caller) for path on the connected server.
    virtual bool CreateStreamRequest(const char* path, IAcceptTypes* acceptTypes, uint32_t method,
                                     IHttpRequestStream** request, Core::IErrorCode** error) = 0;
};

}  // namespace Platform::Interfaces
