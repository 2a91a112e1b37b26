// Header sets, accept types, memory streams, response heads and responses.
#include <cstring>
#include <stdexcept>

#include "Common/Http/HttpImpl.h"
#include "Core/Guard.h"
#include "Core/StringFormat.h"
#include "Platform/File.h"
#include "Platform/IFile.h"

namespace Platform::Network::Http {
namespace impl {
namespace {

// Fixed text: hosts match on it.
constexpr const char* kMissingKey = "invalid unordered_map<K, T> key";

}  // namespace

void HttpHeadersImpl::Set(const char* name, const char* value) {
    Core::CheckNotNull(name);
    values_[name] = value != nullptr ? value : "";
}

const char* HttpHeadersImpl::Get(const char* name) {
    Core::CheckNotNull(name);
    auto it = values_.find(name);
    if (it == values_.end()) {
        throw std::out_of_range(kMissingKey);
    }
    return it->second.c_str();
}

const char* HttpHeadersImpl::GetName(uint64_t index) {
    if (index >= values_.size()) {
        return nullptr;
    }
    auto it = values_.begin();
    std::advance(it, static_cast<std::ptrdiff_t>(index));
    return it->first.c_str();
}

void AcceptTypesImpl::Add(const char* mediaType) {
    Core::CheckNotNull(mediaType);
    types_.emplace_back(mediaType);
}

MemoryStreamImpl::MemoryStreamImpl(uint64_t size, bool readable, bool writable)
    : data_(static_cast<size_t>(size)), readable_(readable), writable_(writable) {}

uint64_t MemoryStreamImpl::Read(void* buffer, uint64_t count, Core::IErrorCode** error) {
    uint64_t copied = 0;
    Core::AbiGuard(error, [&] {
        if (!readable_) {
            throw std::runtime_error("Stream is write only! Read operation is not supported");
        }
        Core::CheckNotNull(buffer);
        copied = std::min<uint64_t>(count, data_.size() - position_);
        if (copied > 0) {
            std::memcpy(buffer, data_.data() + position_, static_cast<size_t>(copied));
        }
        position_ += copied;
    });
    return copied;
}

uint64_t MemoryStreamImpl::Write(const void* data, uint64_t count, Core::IErrorCode** error) {
    uint64_t copied = 0;
    Core::AbiGuard(error, [&] {
        if (!writable_) {
            throw std::runtime_error("Stream is read only! Write operation is not supported");
        }
        Core::CheckNotNull(data);
        if (count > data_.size() - position_) {
            throw std::runtime_error("Method not implemented!");
        }
        if (count > 0) {
            std::memcpy(data_.data() + position_, data, static_cast<size_t>(count));
        }
        position_ += count;
        copied = count;
    });
    return copied;
}

bool MemoryStreamImpl::SetPosition(uint64_t position, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        if (position > data_.size()) {
            throw std::runtime_error(Core::StringFormat(
                "Position must be smaller or equal to stream size which is %llu bytes! Position was %llu",
                static_cast<unsigned long long>(data_.size()), static_cast<unsigned long long>(position)));
        }
        position_ = position;
    });
}

bool MemoryStreamImpl::SetSize(uint64_t, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        if (!writable_) {
            throw std::runtime_error("Stream is read only! Write operation is not supported");
        }
        throw std::runtime_error("Method not implemented!");
    });
}

void MemoryStreamImpl::Append(const void* data, uint64_t count) {
    const char* bytes = static_cast<const char*>(data);
    data_.insert(data_.end(), bytes, bytes + count);
}

bool HttpResponseStreamImpl::GetHeaders(Interfaces::IHttpHeaders** headers, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(headers);
        auto copy = Core::MakeObject<HttpHeadersImpl>();
        for (const auto& [name, value] : head_.headers) {
            copy->Set(name.c_str(), value.c_str());
        }
        Core::HandOut(Core::Ptr<Interfaces::IHttpHeaders>(std::move(copy)), headers);
    });
}

bool HttpResponseStreamImpl::HasHeader(const char* name) {
    return Find(name) != nullptr;
}

const char* HttpResponseStreamImpl::GetHeaderValue(const char* name, Core::IErrorCode** error) {
    const char* value = nullptr;
    Core::AbiGuard(error, [&] {
        value = Find(name);
        if (value == nullptr) {
            throw std::out_of_range(kMissingKey);
        }
    });
    return value;
}

bool HttpResponseStreamImpl::GetObject(Core::IObject** object, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(object);
        AddReference();
        *object = this;
    });
}

const char* HttpResponseStreamImpl::Find(const char* name) const {
    if (name == nullptr) {
        return nullptr;
    }
    auto it = head_.headers.find(name);
    return it == head_.headers.end() ? nullptr : it->second.c_str();
}

bool HttpResponseImpl::SaveToFile(const char* path) {
    if (GetBodySize() == 0 || path == nullptr) {
        return false;
    }
    try {
        Core::Ptr<Interfaces::IFile> file =
            IO::OpenFile(path, IO::kGenericWrite, IO::kShareRead | IO::kShareWrite, IO::kCreateAlways);
        Core::Ptr<Interfaces::ISynchrounousFile> writer = file.Cast<Interfaces::ISynchrounousFile>();
        const char* data = body_->Data();
        uint64_t left = body_->GetSize();
        while (left > 0) {
            const uint64_t piece = std::min<uint64_t>(left, 1u << 30);
            Core::ErrorCode error;
            const uint32_t written = writer->Write(data, piece, error.Receive());
            if (error || written == 0) {
                return false;
            }
            data += written;
            left -= written;
        }
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

uint64_t HttpResponseImpl::GetBodySize() {
    return body_ ? body_->GetSize() : 0;
}

const void* HttpResponseImpl::GetBody() {
    return body_ ? body_->Data() : nullptr;
}

bool HttpResponseImpl::GetHead(Interfaces::IHttpResponseStream** head, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(head);
        Core::HandOut(Core::Ptr<Interfaces::IHttpResponseStream>(head_), head);
    });
}

bool HttpResponseImpl::GetBodyStream(Interfaces::IAsyncStream** stream, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(stream);
        if (!stream_) {
            throw std::runtime_error("The response body is buffered, not streamed");
        }
        Core::HandOut(Core::Ptr<Interfaces::IAsyncStream>(stream_), stream);
    });
}

}  // namespace impl

Core::Ptr<Interfaces::IHttpHeaders> CreateHttpHeaders() {
    return Core::MakeObject<impl::HttpHeadersImpl>();
}

Core::Ptr<Interfaces::IAcceptTypes> CreateAcceptTypes() {
    return Core::MakeObject<impl::AcceptTypesImpl>();
}

Core::Ptr<Interfaces::IStream> CreateMemoryStream(const void* data, uint64_t size, bool readable, bool writable) {
    auto stream = Core::MakeObject<impl::MemoryStreamImpl>(size, readable, writable);
    if (data != nullptr && size > 0) {
        std::memcpy(const_cast<char*>(stream->Data()), data, static_cast<size_t>(size));
    }
    return stream;
}

}  // namespace Platform::Network::Http
