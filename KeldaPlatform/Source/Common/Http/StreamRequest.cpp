// Requests whose body is pulled from a stream: uploaded one piece of at most 20 MiB at a time, each
// piece produced when the one before has been taken.
#include <stdexcept>

#include "Common/Http/HttpImpl.h"
#include "Core/ErrorCode.h"
#include "Core/Guard.h"
#include "Core/Log.h"
#include "Core/StringFormat.h"
#include "Core/Variant.h"

// The log lines name the calls of the Windows HTTP API ("WinHttpReadData failed (%d) %s") whatever
// the backend: they are the same lines on every system, with the backend's own error numbers.
// Fixed text: hosts match on it.

namespace Platform::Network::Http {
namespace {

constexpr uint32_t kReceiveBufferSize = 32768;
constexpr uint64_t kLargestReservation = 256ull << 20;

void LogFrom(int32_t level, const char* function, const std::string& message) {
    Core::LogMessage(level, (std::string("Platform::Network::Http::HttpRequestStreamImpl::") + function).c_str(),
                     __FILE__, 0, message.c_str());
}

bool IsFinal(uint32_t state) {
    return state == Interfaces::TaskCompleted || state == Interfaces::TaskFailed ||
           state == Interfaces::TaskCancelled || state == Interfaces::TaskCancelRequested;
}

}  // namespace

HttpRequestStreamImpl::HttpRequestStreamImpl(std::shared_ptr<Transport::Transfer> transfer, uint32_t method,
                                             Core::Ptr<HttpClientImpl> client) {
    core_.transfer = std::move(transfer);
    core_.method = method;
    core_.client = std::move(client);
    core_.receiveBuffer.resize(kReceiveBufferSize);
}

HttpRequestStreamImpl::~HttpRequestStreamImpl() {
    if (core_.transfer) {
        core_.transfer->Close();
    }
}

bool HttpRequestStreamImpl::SetHeaders(Interfaces::IHttpHeaders* headers, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(headers);
        bool chunked = false;
        const std::string lines = detail::HeaderLines(headers, &chunked);
        std::shared_ptr<Transport::Transfer> transfer;
        {
            std::lock_guard<std::mutex> lock(stateMutex_);
            chunked_ = chunked_ || chunked;
            transfer = core_.transfer;
        }
        if (!transfer || !transfer->AddHeaders(lines)) {
            throw std::runtime_error("Headers can only be added to a request that has not been sent");
        }
    });
}

bool HttpRequestStreamImpl::SetBodyStream(Interfaces::IStream* body, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::Ptr<Interfaces::IStream> incoming(body);
        std::lock_guard<std::mutex> lock(stateMutex_);
        incoming.Swap(body_);
    });
}

bool HttpRequestStreamImpl::SendAsync(Interfaces::IAsyncTask** task, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(task);
        Core::Ptr<HttpRequestStreamImpl> self(this);
        auto created = Core::MakeObject<HttpAsyncTaskImpl>([self] { self->Close(); });
        created->SetState(Interfaces::TaskQueued);
        {
            std::lock_guard<std::mutex> lock(stateMutex_);
            core_.task = Core::Ptr<Interfaces::IAsyncTask>(created);
        }
        if (!SendRequestInternal()) {
            {
                std::lock_guard<std::mutex> lock(stateMutex_);
                core_.task = nullptr;
            }
            created->DropRequest();
            throw std::runtime_error("The request could not be sent");
        }
        *task = Core::Ptr<Interfaces::IAsyncTask>(std::move(created)).Detach();
    });
}

bool HttpRequestStreamImpl::SendWriteOnly(Interfaces::IAsyncTask** task, Core::IErrorCode** error) {
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        writeOnly_ = true;
    }
    return SendAsync(task, error);
}

void HttpRequestStreamImpl::Close() {
    CloseTransfer();
}

void HttpRequestStreamImpl::CloseTransfer() {
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

bool HttpRequestStreamImpl::SendRequestInternal() {
    std::shared_ptr<Transport::Transfer> transfer;
    uint32_t method = 0;
    Core::Ptr<Interfaces::IStream> body;
    bool chunked = false;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        if (core_.completed || core_.sent || !core_.transfer || core_.closed.load()) {
            return false;
        }
        transfer = core_.transfer;
        method = core_.method;
        body = body_;
        chunked = chunked_;
    }
    const bool withBody = method == Interfaces::HttpPost || method == Interfaces::HttpPut ||
                          method == Interfaces::HttpDelete || method == Interfaces::HttpPatch;
    const bool plain = method == Interfaces::HttpGet || method == Interfaces::HttpHead;
    if (!withBody && !plain) {
        return false;
    }
    // The body's length is announced up front unless it goes out in chunks.
    int64_t contentLength = 0;
    bool streamed = false;
    if (withBody) {
        streamed = chunked || body;
        contentLength = chunked ? -1 : body ? static_cast<int64_t>(body->GetSize()) : 0;
    }
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        transportReference_ = Core::Ptr<HttpRequestStreamImpl>(this);
        streamed_ = streamed;
    }
    const bool ok = transfer->Send(this, nullptr, 0, streamed, contentLength);
    if (!ok) {
        Core::Ptr<HttpRequestStreamImpl> reference;
        {
            std::lock_guard<std::mutex> lock(stateMutex_);
            reference = std::move(transportReference_);
        }
        LogFrom(Core::LogError, "SendRequestInternal",
                Core::StringFormat("WinHttpSendRequest failed (%d) %s", 0, "The request could not be started"));
        return false;
    }
    std::lock_guard<std::mutex> lock(stateMutex_);
    core_.sent = true;
    return true;
}

void HttpRequestStreamImpl::OnSendRequestComplete() {
    std::shared_ptr<Transport::Transfer> transfer;
    bool writeOnly = false;
    bool streamed = false;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        transfer = core_.transfer;
        writeOnly = writeOnly_;
        streamed = streamed_;
    }
    if (!transfer) {
        return;
    }
    if (!writeOnly || !streamed) {
        transfer->ReceiveResponse();
    }
    if (streamed) {
        WriteData();
    }
}

void HttpRequestStreamImpl::WriteData() {
    std::shared_ptr<Transport::Transfer> transfer;
    Core::Ptr<Interfaces::IStream> body;
    bool writeOnly = false;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        transfer = core_.transfer;
        body = body_;
        writeOnly = writeOnly_;
    }
    if (!transfer) {
        return;
    }
    uint64_t n = 0;
    if (body) {
        if (!sendBuffer_) {
            // Not zero-filled: the source writes every byte that is sent, and 20 MiB of zeros per
            // request would cost more than small bodies take to send.
            sendBuffer_.reset(new char[kSendBufferSize]);
        }
        Core::ErrorCode error;
        n = body->Read(sendBuffer_.get(), kSendBufferSize, error.Receive());
        if (error) {
            LogFrom(Core::LogError, "ReadFromStream", "Reading from stream failed");
            n = 0;
        }
    }
    if (n == 0) {
        // The body is exhausted: end it, and ask for the response if nobody has yet.
        transfer->WriteData(nullptr, 0);
        {
            std::lock_guard<std::mutex> lock(stateMutex_);
            body_ = nullptr;
        }
        if (writeOnly) {
            transfer->ReceiveResponse();
        }
        return;
    }
    if (n > 0xFFFFFFFFull) {
        LogFrom(Core::LogError, "WriteData",
                "Trying to send data which is too big - max supported size for a singular write is max DWORD");
    }
    if (!transfer->WriteData(sendBuffer_.get(), n)) {
        LogFrom(Core::LogError, "WriteData",
                Core::StringFormat("WinHttpWriteData failed (%d) %s", 0, "The request is closed or has failed"));
    }
}

void HttpRequestStreamImpl::ReadData() {
    std::shared_ptr<Transport::Transfer> transfer = CurrentTransfer(stateMutex_, core_);
    if (!transfer || !transfer->ReadData(core_.receiveBuffer.data(), kReceiveBufferSize)) {
        LogFrom(Core::LogError, "ReadData",
                Core::StringFormat("WinHttpReadData failed (%d) %s", 0, "The request is closed or has failed"));
    }
}

void HttpRequestStreamImpl::OnHeadersAvailable() {
    std::shared_ptr<Transport::Transfer> transfer = CurrentTransfer(stateMutex_, core_);
    if (!transfer) {
        return;
    }
    ResponseHead head;
    const std::string problem = detail::ReadResponseHead(
        *transfer, head, [](const std::string& line) { LogFrom(Core::LogError, "OnHeadersAvailable", line); });
    if (!problem.empty()) {
        LogFrom(Core::LogError, "OnHeadersAvailable", problem);
        EndTask(Interfaces::TaskFailed, problem);
        CloseTransfer();
        return;
    }
    bool present = false;
    const uint64_t contentLength = detail::ContentLengthOf(head, present);
    auto body = Core::MakeObject<impl::MemoryStreamImpl>(0, true, false);
    body->Reserve(std::min(contentLength, kLargestReservation));
    auto headObject = Core::MakeObject<impl::HttpResponseStreamImpl>(std::move(head));
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        core_.contentLength = contentLength;
        core_.response = Core::MakeObject<impl::HttpResponseImpl>(headObject, body);
    }
    ReadData();
}

void HttpRequestStreamImpl::OnReadComplete(void* buffer, uint32_t bytes) {
    Core::Ptr<impl::HttpResponseImpl> response;
    uint32_t method = 0;
    uint64_t expected = 0;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        response = core_.response;
        method = core_.method;
        expected = core_.contentLength;
    }
    if (!response) {
        return;
    }
    if (bytes > 0) {
        response->Body()->Append(buffer, bytes);
        ReadData();
        return;
    }
    ResponseHead head;
    head.statusCode = response->GetStatusCode();
    if (!detail::BodyComplete(method, head, expected, response->GetBodySize())) {
        const std::string message = Core::StringFormat("The response body ended after %llu of %llu bytes",
                                                       static_cast<unsigned long long>(response->GetBodySize()),
                                                       static_cast<unsigned long long>(expected));
        LogFrom(Core::LogError, "ReadData", message);
        EndTask(Interfaces::TaskFailed, message);
        CloseTransfer();
        return;
    }
    Core::Ptr<Interfaces::IAsyncTask> task;
    bool closed = false;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        task = core_.task;
        closed = core_.closed.load() && !core_.transfer;
        core_.completed = true;
    }
    if (task && !IsFinal(task->GetState())) {
        if (!closed) {
            Data::Variant result = Data::Variant::FromObject(
                static_cast<Core::IObject*>(static_cast<Interfaces::IHttpResponse*>(response.GetUnchecked())),
                Data::Structures::VT_IObject);
            task->SetResult(&result.Raw());
            task->SetState(Interfaces::TaskCompleted);
        } else {
            task->SetState(Interfaces::TaskCancelled);
        }
        task->Signal();
    }
    CloseTransfer();
}

void HttpRequestStreamImpl::EndTask(uint32_t state, const std::string& message) {
    Core::Ptr<Interfaces::IAsyncTask> task;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        task = core_.task;
    }
    if (!task || IsFinal(task->GetState())) {
        return;
    }
    if (state == Interfaces::TaskFailed) {
        task->SetError(ErrorRecord::FromMessage(message));
    }
    task->SetState(state);
    task->Signal();
}

void HttpRequestStreamImpl::OnRequestError(const Transport::TransferError& error) {
    Core::LogMessage(error.cancelled ? Core::LogDebug : Core::LogError,
                     "Platform::Network::Http::HttpClientImpl::StatusCallback", __FILE__, __LINE__,
                     Core::StringFormat("AsyncCallback: WINHTTP_CALLBACK_STATUS_REQUEST_ERROR [%d]: %s",
                                        static_cast<int>(error.code), error.text.c_str())
                         .c_str());
    EndTask(error.cancelled ? Interfaces::TaskCancelled : Interfaces::TaskFailed, error.text);
    CloseTransfer();
}

void HttpRequestStreamImpl::OnHandleClosing() {
    Core::Ptr<Interfaces::IAsyncTask> task;
    Core::Ptr<HttpClientImpl> client;
    Core::Ptr<Interfaces::IStream> body;
    Core::Ptr<HttpRequestStreamImpl> reference;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        task = std::move(core_.task);
        client = std::move(core_.client);
        body = std::move(body_);
        reference = std::move(transportReference_);
    }
    if (auto* httpTask = dynamic_cast<HttpAsyncTaskImpl*>(task.GetUnchecked())) {
        httpTask->DropRequest();
    }
    task.Reset();
    body.Reset();
    client.Reset();
    reference.Reset();
}

}  // namespace Platform::Network::Http
