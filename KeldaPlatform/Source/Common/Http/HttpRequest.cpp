// Requests with a buffered body: sending, the response head, reading the body into memory or handing
// it to a stream, and the tasks that wait for them.
#include <stdexcept>

#include "Common/Http/HttpImpl.h"
#include "Core/Guard.h"
#include "Core/Log.h"
#include "Core/StringFormat.h"
#include "Core/Variant.h"
#include "Platform/ThreadHelpers.h"

// The log lines name the calls of the Windows HTTP API ("WinHttpReadData failed (%d) %s") whatever
// the backend: they are the same lines on every system, with the backend's own error numbers.
// Fixed text: hosts match on it.

namespace Platform::Network::Http {

using Interfaces::IAsyncTask;
using Interfaces::IHttpRequest;
using Interfaces::IHttpResponse;

namespace {

// A buffered body is collected in pieces of this size: each piece is one hand-over from the network
// thread, so large bodies want large pieces (the transport's own buffer is 256 KiB).
constexpr uint32_t kReceiveBufferSize = 1u << 20;
// A response body is given room for its announced length up to this much at once; a server's word
// alone must not make the client take more. Room that is reserved but never written costs no memory.
constexpr uint64_t kLargestReservation = 1ull << 30;

constexpr const char* kRequestClass = "Platform::Network::Http::HttpRequestImpl::";

void LogFrom(int32_t level, const char* function, const std::string& message) {
    Core::LogMessage(level, (std::string(kRequestClass) + function).c_str(), __FILE__, 0, message.c_str());
}

bool IsFinal(uint32_t state) {
    return state == Interfaces::TaskCompleted || state == Interfaces::TaskFailed ||
           state == Interfaces::TaskCancelled || state == Interfaces::TaskCancelRequested;
}

// The handler that completes a request's task: with the response as its result, or as cancelled
// when the request was closed first.
void CompleteTask(IHttpRequest* request, IHttpResponse* response) {
    Core::Ptr<IAsyncTask> task = Core::Ptr<IAsyncTask>::Adopt(request->GetTask());
    if (!task || IsFinal(task->GetState())) {
        return;
    }
    if (response != nullptr) {
        task->SetState(Interfaces::TaskRunning);
        Data::Variant result =
            Data::Variant::FromObject(static_cast<Core::IObject*>(response), Data::Structures::VT_IObject);
        task->SetResult(&result.Raw());
        task->SetState(Interfaces::TaskCompleted);
    } else {
        task->SetState(Interfaces::TaskCancelled);
    }
    // Waiters must wake whichever way the request ended.
    task->Signal();
}

}  // namespace

namespace detail {

std::string ReadResponseHead(Transport::Transfer& transfer, ResponseHead& head,
                             const std::function<void(const std::string&)>& logQueryFailure) {
    const std::string raw = transfer.QueryRawHeaders();
    std::string problem;
    if (raw.empty()) {
        problem = "The response carried no head";
        logQueryFailure(Core::StringFormat("WinHttpQueryHeaders failed (%d) %s", 0, problem.c_str()));
    } else {
        ParseResponseHead(raw, head, problem);
    }
    return problem;
}

// "Content-Length" (in any letter case, as HTTP/2 sends it in lower case) as an unsigned number:
// the digits up to the first other character; a number beyond 64 bits counts as 0.
uint64_t ContentLengthOf(const ResponseHead& head, bool& present) {
    present = false;
    for (const auto& [name, value] : head.headers) {
        if (!EqualsNoCase(name, "Content-Length")) {
            continue;
        }
        present = true;
        uint64_t number = 0;
        for (char c : value) {
            if (c < '0' || c > '9') {
                break;
            }
            const uint64_t digit = static_cast<uint64_t>(c - '0');
            if (number > (UINT64_MAX - digit) / 10) {
                return 0;
            }
            number = number * 10 + digit;
        }
        return number;
    }
    return 0;
}

// Whether a body of size bytes is the whole body of a response to method with head.
bool BodyComplete(uint32_t method, const ResponseHead& head, uint64_t contentLength, uint64_t size) {
    const uint32_t status = head.statusCode;
    if (method == Interfaces::HttpHead || status == 204 || status == 304 || (status >= 100 && status < 200)) {
        return true;
    }
    return contentLength == 0 || size == contentLength;
}

// The header set as request header lines.
std::string HeaderLines(Interfaces::IHttpHeaders* headers, bool* chunked) {
    std::string lines;
    const uint64_t count = headers->GetCount();
    for (uint64_t i = 0; i < count; ++i) {
        const char* name = headers->GetName(i);
        if (name == nullptr) {
            break;
        }
        const char* value = headers->Get(name);
        lines += Core::StringFormat("%s: %s\r\n", name, value);
        if (chunked != nullptr && EqualsNoCase(name, "transfer-encoding") && EqualsNoCase(value, "chunked")) {
            *chunked = true;
        }
    }
    return lines;
}

}  // namespace detail

HttpRequestImpl::HttpRequestImpl(std::shared_ptr<Transport::Transfer> transfer, uint32_t method,
                                 Core::Ptr<HttpClientImpl> client) {
    core_.transfer = std::move(transfer);
    core_.method = method;
    core_.client = std::move(client);
    core_.receiveBuffer.resize(kReceiveBufferSize);
}

HttpRequestImpl::~HttpRequestImpl() {
    if (core_.transfer) {
        core_.transfer->Close();
    }
}

bool HttpRequestImpl::SetHeaders(Interfaces::IHttpHeaders* headers) {
    if (headers == nullptr || headers->GetCount() == 0) {
        return false;
    }
    std::shared_ptr<Transport::Transfer> transfer = CurrentTransfer(stateMutex_, core_);
    try {
        return transfer && transfer->AddHeaders(detail::HeaderLines(headers, nullptr));
    } catch (const std::exception&) {
        return false;
    }
}

void HttpRequestImpl::SetBody(const void* data, uint64_t size) {
    std::lock_guard<std::mutex> lock(stateMutex_);
    const char* bytes = static_cast<const char*>(data);
    if (bytes == nullptr) {
        body_.clear();
    } else {
        body_.assign(bytes, bytes + size);
    }
}

uint64_t HttpRequestImpl::GetBodySize() {
    std::lock_guard<std::mutex> lock(stateMutex_);
    return body_.size();
}

const void* HttpRequestImpl::GetBody() {
    std::lock_guard<std::mutex> lock(stateMutex_);
    return body_.data();
}

bool HttpRequestImpl::Send() {
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        if (mode_ != 0) {
            return false;
        }
        // The mode is chosen before the request goes out: its head may arrive before Send returns.
        mode_ = 1;
    }
    if (SendRequestInternal()) {
        return true;
    }
    std::lock_guard<std::mutex> lock(stateMutex_);
    mode_ = 0;
    return false;
}

bool HttpRequestImpl::SendRequestInternal() {
    std::shared_ptr<Transport::Transfer> transfer;
    uint32_t method = 0;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        if (core_.completed || !core_.transfer || core_.closed.load()) {
            return false;
        }
        transfer = core_.transfer;
        method = core_.method;
        transportReference_ = Core::Ptr<HttpRequestImpl>(this);
    }
    const bool withBody = method == Interfaces::HttpPost || method == Interfaces::HttpPut ||
                          method == Interfaces::HttpDelete || method == Interfaces::HttpPatch;
    // The WebDAV requests of the storage service go out without a body: a listing asks for every
    // property, and a new folder must not carry one.
    const bool plain = method == Interfaces::HttpGet || method == Interfaces::HttpHead ||
                       method == Interfaces::HttpPropfind || method == Interfaces::HttpMkcol;
    bool ok = false;
    if (withBody || plain) {
        std::lock_guard<std::mutex> lock(stateMutex_);
        ok = transfer->Send(this, withBody ? body_.data() : nullptr, withBody ? body_.size() : 0, false, 0);
        core_.sent = ok;
    }
    if (!ok) {
        Core::Ptr<HttpRequestImpl> reference;
        {
            std::lock_guard<std::mutex> lock(stateMutex_);
            reference = std::move(transportReference_);
        }
        if (withBody || plain) {
            LogFrom(Core::LogError, "SendRequestInternal",
                    Core::StringFormat("WinHttpSendRequest failed (%d) %s", 0, "The request could not be started"));
        }
    }
    return ok;
}

bool HttpRequestImpl::Close() {
    Core::Ptr<HttpRequestImpl> keep(this);
    Interfaces::HttpResponseHandler handler = nullptr;
    std::shared_ptr<Transport::Transfer> transfer;
    std::shared_ptr<impl::AsyncStreamState> stream;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        if (!core_.completed) {
            handler = responseHandler_ != nullptr ? responseHandler_ : streamHandler_;
        }
        stream = stream_;
    }
    if (handler != nullptr) {
        handler(this, nullptr);
    }
    if (stream) {
        stream->MarkCancelled();
    }
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        transfer = std::move(core_.transfer);
        core_.closed.store(true);
    }
    if (!transfer) {
        return false;
    }
    transfer->Close();
    return true;
}

void HttpRequestImpl::CloseTransfer() {
    std::shared_ptr<Transport::Transfer> transfer;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        transfer = std::move(core_.transfer);
        core_.closed.store(true);
    }
    if (transfer) {
        transfer->Close();
    }
}

bool HttpRequestImpl::IsCompleted() {
    std::lock_guard<std::mutex> lock(stateMutex_);
    return core_.completed;
}

bool HttpRequestImpl::IsClosed() {
    std::lock_guard<std::mutex> lock(stateMutex_);
    return core_.closed.load() && !core_.transfer;
}

IHttpResponse* HttpRequestImpl::GetResponse(bool wait) {
    bool sent = false;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        if (mode_ == 2) {
            LogFrom(Core::LogError, "GetResponse",
                    "GetResponseStreamAsync was called previously which state is incompatible with GetResponse or "
                    "GetResponseAsync functions.");
            return nullptr;
        }
        if (core_.completed) {
            return Core::Ptr<IHttpResponse>(core_.response).Detach();
        }
        if (!wait) {
            return nullptr;
        }
        sent = core_.sent;
        if (!sent) {
            mode_ = 1;
        }
    }
    if (!sent && !SendRequestInternal()) {
        Close();
        return nullptr;
    }
    Threading::ThreadHelpers::WaitForSingleObject(done_.Handle(), Threading::kInfinite, false, false);
    Close();
    std::lock_guard<std::mutex> lock(stateMutex_);
    return core_.completed ? Core::Ptr<IHttpResponse>(core_.response).Detach() : nullptr;
}

void HttpRequestImpl::WaitForResponse() {
    bool sent = false;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        if (mode_ == 2) {
            LogFrom(Core::LogError, "WaitForResponse",
                    "GetResponseStreamAsync was called previously which state is incompatible with WaitForResponse");
            return;
        }
        sent = core_.sent;
        if (!sent) {
            mode_ = 1;
        }
    }
    if (!sent && !SendRequestInternal()) {
        Close();
        return;
    }
    Threading::ThreadHelpers::WaitForSingleObject(done_.Handle(), Threading::kInfinite, false, false);
    Close();
}

bool HttpRequestImpl::GetResponseAsync(IAsyncTask** task) {
    if (task == nullptr || *task != nullptr) {
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        if (mode_ == 2) {
            LogFrom(Core::LogError, "GetResponseAsync",
                    "GetResponseStreamAsync was called previously which state is incompatible with GetResponse or "
                    "GetResponseAsync functions.");
            return false;
        }
    }
    Core::Ptr<IAsyncTask> started = StartResponseTask(nullptr);
    if (!started) {
        return false;
    }
    *task = started.Detach();
    return true;
}

Core::Ptr<IAsyncTask> HttpRequestImpl::StartResponseTask(Interfaces::IAsyncTaskStatusCallback* callback) {
    Core::Ptr<HttpRequestImpl> self(this);
    auto task = Core::MakeObject<HttpAsyncTaskImpl>([self] { self->Close(); });
    if (callback != nullptr) {
        task->SetStatusCallback(callback);
    }
    bool sent = false;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        if (mode_ == 2) {
            task->DropRequest();
            return nullptr;
        }
        if (core_.completed) {
            Data::Variant result = Data::Variant::FromObject(
                static_cast<Core::IObject*>(static_cast<IHttpResponse*>(core_.response.GetUnchecked())),
                Data::Structures::VT_IObject);
            task->SetResult(&result.Raw());
            task->DropRequest();
            sent = true;
        } else {
            task->SetState(Interfaces::TaskQueued);
            core_.task = Core::Ptr<IAsyncTask>(task);
            responseHandler_ = &CompleteTask;
            sent = core_.sent;
            mode_ = 1;
        }
    }
    if (task->GetState() != Interfaces::TaskQueued) {
        task->SetState(Interfaces::TaskCompleted);
        task->Signal();
        return task;
    }
    if (!sent && !SendRequestInternal()) {
        {
            std::lock_guard<std::mutex> lock(stateMutex_);
            core_.task = nullptr;
            responseHandler_ = nullptr;
            mode_ = 0;
        }
        task->DropRequest();
        return nullptr;
    }
    return task;
}

bool HttpRequestImpl::GetResponseStreamAsync(IAsyncTask** task, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(task);
        Core::Ptr<HttpRequestImpl> self(this);
        auto created = Core::MakeObject<HttpAsyncTaskImpl>([self] { self->Close(); });
        bool sent = false;
        {
            std::lock_guard<std::mutex> lock(stateMutex_);
            if (mode_ == 1) {
                throw std::runtime_error(
                    "GetResponse or GetResponseAsync method was already called. GetResponseStreamAsync and "
                    "GetResponseAsync are mutually exclusive and cannot be used on the same request!");
            }
            if (mode_ == 2) {
                throw std::runtime_error(
                    "Other GetResponse method was already called. GetResponseStreamAsync and GetResponseAsync are "
                    "mutually exclusive!");
            }
            created->SetState(Interfaces::TaskQueued);
            core_.task = Core::Ptr<IAsyncTask>(created);
            streamHandler_ = &CompleteTask;
            sent = core_.sent;
            mode_ = 2;
        }
        if (!sent && !SendRequestInternal()) {
            {
                std::lock_guard<std::mutex> lock(stateMutex_);
                core_.task = nullptr;
                streamHandler_ = nullptr;
                mode_ = 0;
            }
            created->DropRequest();
            throw std::runtime_error("The request could not be sent");
        }
        *task = Core::Ptr<IAsyncTask>(std::move(created)).Detach();
    });
}

void HttpRequestImpl::SetResponseHandler(Interfaces::HttpResponseHandler handler) {
    std::lock_guard<std::mutex> lock(stateMutex_);
    responseHandler_ = handler;
}

void HttpRequestImpl::SetContext(uint64_t value) {
    std::lock_guard<std::mutex> lock(stateMutex_);
    context_ = value;
}

void HttpRequestImpl::SetTask(IAsyncTask* task) {
    Core::Ptr<IAsyncTask> incoming(task);
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        incoming.Swap(core_.task);
    }
}

IAsyncTask* HttpRequestImpl::GetTask() {
    std::lock_guard<std::mutex> lock(stateMutex_);
    return Core::Ptr<IAsyncTask>(core_.task).Detach();
}

void HttpRequestImpl::DetachStream() {
    std::lock_guard<std::mutex> lock(stateMutex_);
    stream_.reset();
}

void HttpRequestImpl::FailTask(const std::string& message) {
    Core::Ptr<IAsyncTask> task;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        task = core_.task;
        // The failure is the outcome: closing afterwards must not report a cancellation.
        responseHandler_ = nullptr;
        streamHandler_ = nullptr;
    }
    if (task && !IsFinal(task->GetState())) {
        task->SetError(ErrorRecord::FromMessage(message));
        task->SetState(Interfaces::TaskFailed);
        task->Signal();
    }
}

void HttpRequestImpl::ReadData() {
    std::shared_ptr<Transport::Transfer> transfer;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        if (!core_.response) {
            return;
        }
        transfer = core_.transfer;
    }
    if (!transfer || !transfer->ReadData(core_.receiveBuffer.data(), kReceiveBufferSize)) {
        LogFrom(Core::LogError, "ReadData",
                Core::StringFormat("WinHttpReadData failed (%d) %s", 0, "The request is closed or has failed"));
    }
}

void HttpRequestImpl::OnSendRequestComplete() {
    std::shared_ptr<Transport::Transfer> transfer = CurrentTransfer(stateMutex_, core_);
    if (transfer) {
        transfer->ReceiveResponse();
    }
}

void HttpRequestImpl::OnHeadersAvailable() {
    std::shared_ptr<Transport::Transfer> transfer = CurrentTransfer(stateMutex_, core_);
    if (!transfer) {
        return;
    }
    ResponseHead head;
    const std::string problem = detail::ReadResponseHead(
        *transfer, head, [](const std::string& line) { LogFrom(Core::LogError, "OnHeadersAvailable", line); });
    if (!problem.empty()) {
        LogFrom(Core::LogError, "OnHeadersAvailable", problem);
        FailTask(problem);
        Close();
        done_.Set();
        return;
    }
    bool present = false;
    const uint64_t contentLength = detail::ContentLengthOf(head, present);
    auto headObject = Core::MakeObject<impl::HttpResponseStreamImpl>(std::move(head));

    std::unique_lock<std::mutex> lock(stateMutex_);
    core_.contentLength = contentLength;
    if (mode_ == 1) {
        auto body = Core::MakeObject<impl::MemoryStreamImpl>(0, true, false);
        body->Reserve(std::min(contentLength, kLargestReservation));
        core_.response = Core::MakeObject<impl::HttpResponseImpl>(headObject, body);
        lock.unlock();
        ReadData();
    } else if (mode_ == 2) {
        stream_ = std::make_shared<impl::AsyncStreamState>();
        auto stream =
            Core::MakeObject<impl::AsyncStreamImpl>(Core::Ptr<HttpRequestImpl>(this), transfer, stream_, contentLength);
        auto response = Core::MakeObject<impl::HttpResponseImpl>(headObject, std::move(stream));
        Interfaces::HttpResponseHandler handler = std::exchange(streamHandler_, nullptr);
        lock.unlock();
        if (handler != nullptr) {
            handler(this, response.GetUnchecked());
        }
        SetTask(nullptr);
    } else {
        lock.unlock();
        LogFrom(Core::LogError, "OnHeadersAvailable", "Logic error. Means that there is bug in the code!");
    }
}

void HttpRequestImpl::OnReadComplete(void* buffer, uint32_t bytes) {
    std::shared_ptr<impl::AsyncStreamState> stream;
    uint32_t mode = 0;
    Core::Ptr<impl::HttpResponseImpl> response;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        mode = mode_;
        stream = stream_;
        response = core_.response;
    }
    if (mode == 2) {
        if (stream) {
            stream->OnReadCompleted(buffer, bytes);
        }
        return;
    }
    if (!response) {
        return;
    }
    if (bytes > 0) {
        response->Body()->Append(buffer, bytes);
        ReadData();
        return;
    }
    Interfaces::HttpResponseHandler handler = nullptr;
    bool complete = false;
    uint64_t expected = 0;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        ResponseHead head;
        expected = core_.contentLength;
        const uint32_t status = response->GetStatusCode();
        head.statusCode = status;
        complete = detail::BodyComplete(core_.method, head, expected, response->GetBodySize());
        if (complete) {
            core_.completed = true;
            handler = responseHandler_;
        }
    }
    if (!complete) {
        const std::string message = Core::StringFormat("The response body ended after %llu of %llu bytes",
                                                       static_cast<unsigned long long>(response->GetBodySize()),
                                                       static_cast<unsigned long long>(expected));
        LogFrom(Core::LogError, "ReadData", message);
        FailTask(message);
        Close();
        done_.Set();
        return;
    }
    if (handler != nullptr) {
        handler(this, response.GetUnchecked());
    }
    CloseTransfer();
    done_.Set();
}

void HttpRequestImpl::OnRequestError(const Transport::TransferError& error) {
    Core::LogMessage(error.cancelled ? Core::LogDebug : Core::LogError,
                     "Platform::Network::Http::HttpClientImpl::StatusCallback", __FILE__, __LINE__,
                     Core::StringFormat("AsyncCallback: WINHTTP_CALLBACK_STATUS_REQUEST_ERROR [%d]: %s",
                                        static_cast<int>(error.code), error.text.c_str())
                         .c_str());
    std::shared_ptr<impl::AsyncStreamState> stream;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        stream = stream_;
    }
    if (stream) {
        if (error.cancelled) {
            stream->MarkCancelled();
        }
        stream->OnReadFailed(error.cancelled ? Core::kErrorCodeException : static_cast<int32_t>(error.code),
                             error.cancelled ? "Request IO was cancelled!" : error.text);
    }
    if (!error.cancelled) {
        FailTask(error.text);
    }
    Close();
    done_.Set();
}

void HttpRequestImpl::OnHandleClosing() {
    Core::Ptr<IAsyncTask> task;
    Core::Ptr<HttpClientImpl> client;
    Core::Ptr<HttpRequestImpl> reference;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        task = std::move(core_.task);
        responseHandler_ = nullptr;
        streamHandler_ = nullptr;
        context_ = 0;
        client = std::move(core_.client);
        reference = std::move(transportReference_);
    }
    if (auto* httpTask = dynamic_cast<HttpAsyncTaskImpl*>(task.GetUnchecked())) {
        httpTask->DropRequest();
    }
    // The references go in this order; the last may destroy the request itself.
    task.Reset();
    client.Reset();
    reference.Reset();
}

}  // namespace Platform::Network::Http
