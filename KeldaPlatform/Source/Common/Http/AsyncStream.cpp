// Streamed response bodies: reads queued by the reader, issued one at a time while it waits, and
// completed by the network thread.
#include <stdexcept>

#include "Common/Http/HttpImpl.h"
#include "Core/ErrorCode.h"
#include "Core/Guard.h"
#include "Core/Log.h"
#include "Core/StringFormat.h"
#include "Platform/RichError.h"
#include "Platform/ThreadHelpers.h"

namespace Platform::Network::Http {
namespace impl {
namespace {

constexpr const char* kQueueFunction = "Platform::Network::Http::impl::AsyncStreamImpl::QueueReadAsync";
constexpr const char* kWaitFunction = "Platform::Network::Http::impl::AsyncStreamImpl::WaitForCompletion";
constexpr const char* kCompletedFunction = "Platform::Network::Http::impl::AsyncStreamImpl::OnReadCompleted";
constexpr uint64_t kLargestRead = 0xFFFFFFFFull;

[[noreturn]] void RaiseFatal(const char* function, int line, const char* message) {
    ErrorRecord record = ErrorRecord::FromMessage(message);
    record.function = function;
    record.file = __FILE__;
    record.line = line;
    RichError::Raise(record);
}

}  // namespace

void AsyncStreamState::OnReadCompleted(void* buffer, uint32_t bytes) {
    Interfaces::AsyncReadCallback callback = nullptr;
    Core::Ptr<Core::IObject> context;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = entries_.find(reinterpret_cast<uintptr_t>(buffer));
        if (it == entries_.end() || it->second.done) {
            Core::LogMessage(Core::LogError, kCompletedFunction, __FILE__, __LINE__, "OnReadCompleted logic error!");
            return;
        }
        callback = it->second.callback;
        context = it->second.context;
        it->second.done = true;
        inFlight_ = 0;
    }
    if (callback != nullptr) {
        callback(context.GetUnchecked(), nullptr, bytes);
    }
    if (bytes == 0) {
        endOfStream_.store(true);
    }
    readEvent_.Set();
}

void AsyncStreamState::OnReadFailed(int32_t code, const std::string& message) {
    Interfaces::AsyncReadCallback callback = nullptr;
    Core::Ptr<Core::IObject> context;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        failureCode_ = code;
        failure_ = message;
        auto it = entries_.find(inFlight_);
        if (inFlight_ == 0 || it == entries_.end() || it->second.done) {
            return;
        }
        callback = it->second.callback;
        context = it->second.context;
        it->second.done = true;
        inFlight_ = 0;
    }
    if (callback != nullptr) {
        Core::Ptr<Core::IErrorCode> error = Core::MakeErrorCode(code, message);
        callback(context.GetUnchecked(), error.GetUnchecked(), 0);
    }
    readEvent_.Set();
}

AsyncStreamImpl::AsyncStreamImpl(Core::Ptr<HttpRequestImpl> request, std::shared_ptr<Transport::Transfer> transfer,
                                 std::shared_ptr<AsyncStreamState> state, uint64_t contentLength)
    : request_(std::move(request)),
      transfer_(std::move(transfer)),
      state_(std::move(state)),
      contentLength_(contentLength) {}

AsyncStreamImpl::~AsyncStreamImpl() {
    Core::IErrorCode* ignored = nullptr;
    Close(&ignored);
    if (ignored != nullptr) {
        ignored->Release();
    }
}

bool AsyncStreamImpl::QueueReadAsync(void* buffer, uint64_t size, Core::IObject* context, uint64_t fileOffset,
                                     Interfaces::AsyncReadCallback callback, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        if (state_->busy_.load()) {
            RaiseFatal(kQueueFunction, __LINE__, "Cannot queue reads while another operation is in progress!");
        }
        if (fileOffset != 0) {
            RaiseFatal(kQueueFunction, __LINE__, "fileOffset parameter must be 0 as stream seek is not supported!");
        }
        {
            std::lock_guard<std::mutex> lock(requestMutex_);
            if (!transfer_) {
                RaiseFatal(kQueueFunction, __LINE__,
                           "Async http stream request reference was dropped and cannot queue anymore reads!");
            }
        }
        Core::CheckNotNull(buffer);
        const uintptr_t begin = reinterpret_cast<uintptr_t>(buffer);
        const uintptr_t end = begin + size;
        std::lock_guard<std::mutex> lock(state_->mutex_);
        for (const auto& [address, entry] : state_->entries_) {
            const uintptr_t otherEnd = address + entry.length;
            if (begin < otherEnd && address < end) {
                throw std::runtime_error(
                    "Another buffer was already queued which overlaps with the buffer area that was provided! Queued "
                    "reads must not have overlapped memory regions!");
            }
        }
        for (uint64_t offset = 0; offset < size; offset += kLargestRead) {
            AsyncStreamState::Entry entry;
            entry.address = static_cast<char*>(buffer) + offset;
            entry.length = static_cast<uint32_t>(std::min<uint64_t>(kLargestRead, size - offset));
            entry.context = Core::Ptr<Core::IObject>(context);
            entry.callback = callback;
            const uintptr_t key = reinterpret_cast<uintptr_t>(entry.address);
            state_->entries_[key] = std::move(entry);
            state_->order_.push_back(key);
        }
    });
}

bool AsyncStreamImpl::Write(const void*, uint64_t, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [] { throw std::runtime_error("Stream is read only!"); });
}

bool AsyncStreamImpl::WaitForCompletion(uint32_t timeoutMs, bool pumpMessages, bool dispatchMessages) {
    AsyncStreamState& state = *state_;
    if (state.busy_.exchange(true)) {
        try {
            RaiseFatal(kWaitFunction, __LINE__,
                       "Another WaitForCompletion call is already in progress. Cannot wait twice!");
        } catch (const std::exception&) {
        }
        return false;
    }
    std::deque<uintptr_t> order;
    {
        std::lock_guard<std::mutex> lock(state.mutex_);
        order = state.order_;
    }
    for (uintptr_t address : order) {
        Interfaces::AsyncReadCallback callback = nullptr;
        Core::Ptr<Core::IObject> context;
        uint32_t length = 0;
        {
            std::lock_guard<std::mutex> lock(state.mutex_);
            AsyncStreamState::Entry& entry = state.entries_.at(address);
            if (entry.done) {
                continue;
            }
            callback = entry.callback;
            context = entry.context;
            length = entry.length;
        }
        state.readEvent_.Reset();
        const auto finishWith = [&](int32_t code, const std::string& message) {
            {
                std::lock_guard<std::mutex> lock(state.mutex_);
                state.entries_.at(address).done = true;
            }
            if (callback != nullptr) {
                Core::Ptr<Core::IErrorCode> error = Core::MakeErrorCode(code, message);
                callback(context.GetUnchecked(), error.GetUnchecked(), 0);
            }
            state.readEvent_.Set();
        };
        if (state.cancelled_.load()) {
            finishWith(Core::kErrorCodeException, "Request IO was cancelled!");
            continue;
        }
        std::shared_ptr<Transport::Transfer> transfer;
        {
            std::lock_guard<std::mutex> lock(requestMutex_);
            transfer = transfer_;
        }
        {
            std::lock_guard<std::mutex> lock(state.mutex_);
            state.inFlight_ = address;
        }
        if (!transfer || !transfer->ReadData(reinterpret_cast<void*>(address), length)) {
            std::string failure;
            int32_t code = 0;
            {
                std::lock_guard<std::mutex> lock(state.mutex_);
                state.inFlight_ = 0;
                failure = state.failure_.empty() ? "The request is closed" : state.failure_;
                code = state.failureCode_;
            }
            Core::LogMessage(Core::LogError, "Platform::Network::Http::HttpRequestImpl::ReadData", __FILE__, __LINE__,
                             Core::StringFormat("WinHttpReadData failed (%d) %s", code, failure.c_str()).c_str());
            finishWith(code != 0 ? code : Core::kErrorCodeException, failure);
            continue;
        }
        if (!Threading::ThreadHelpers::WaitForSingleObject(state.readEvent_.Handle(), timeoutMs, pumpMessages,
                                                           dispatchMessages)) {
            return false;
        }
    }
    {
        std::lock_guard<std::mutex> lock(state.mutex_);
        state.entries_.clear();
        state.order_.clear();
    }
    state.busy_.store(false);
    return true;
}

bool AsyncStreamImpl::Close(Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::Ptr<HttpRequestImpl> request;
        {
            std::lock_guard<std::mutex> lock(requestMutex_);
            request = std::move(request_);
            transfer_.reset();
        }
        if (request) {
            request->DetachStream();
            request->Close();
        }
    });
}

}  // namespace impl

void HttpAsyncTaskImpl::Cancel() {
    std::function<void()> closeRequest;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closeRequest.swap(closeRequest_);
    }
    if (closeRequest) {
        closeRequest();
    }
    AsyncTaskImpl::Cancel();
}

void HttpAsyncTaskImpl::DropRequest() {
    std::function<void()> closeRequest;
    std::lock_guard<std::mutex> lock(mutex_);
    closeRequest.swap(closeRequest_);
}

}  // namespace Platform::Network::Http
