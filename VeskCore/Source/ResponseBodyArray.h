#pragma once
#include <cstring>
#include <stdexcept>
#include <vector>

#include "Core/Guard.h"
#include "Core/Object.h"
#include "Core/Ptr.h"
#include "Platform/IHttp.h"
#include "Vesk/Data/IArray.h"

namespace Vesk::CoreServices::impl {

// The body of a buffered response as a byte array, without copying it: a downloaded file of hundreds
// of MiB is handed on as it arrived. The first change through Assign, Insert or Append copies the bytes
// into the array's own storage and lets the response go. Owner thread only, like any array.
class ResponseBodyArray final : public ::Core::ObjectT<Data::Interfaces::IArray> {
public:
    explicit ResponseBodyArray(::Core::Ptr<Platform::Interfaces::IHttpResponse> response)
        : response_(std::move(response)) {}

    uint32_t GetElementSize() override { return 1; }
    uint64_t GetCount() override { return GetByteSize(); }
    uint64_t GetByteSize() override { return response_ ? response_->GetBodySize() : own_.size(); }
    uint8_t* GetData() override {
        return response_ ? static_cast<uint8_t*>(const_cast<void*>(response_->GetBody())) : own_.data();
    }
    bool Assign(const void* data, uint32_t elementSize, uint64_t count, ::Core::IErrorCode** error) override {
        return Change(error, [&] {
            if (elementSize != 1) {
                throw std::runtime_error("A downloaded file's bytes have elements of one byte");
            }
            own_.assign(count, 0);
            if (data != nullptr && count != 0) {
                std::memcpy(own_.data(), data, count);
            }
        });
    }
    bool Insert(uint64_t index, const void* data, uint64_t byteSize, ::Core::IErrorCode** error) override {
        return Change(error, [&] {
            if (index > own_.size()) {
                throw std::out_of_range("Insert position beyond the end of the array");
            }
            const auto* bytes = static_cast<const uint8_t*>(data);
            own_.insert(own_.begin() + static_cast<std::ptrdiff_t>(index), bytes, bytes + byteSize);
        });
    }
    bool Append(const void* data, uint64_t byteSize, ::Core::IErrorCode** error) override {
        return Insert(GetByteSize(), data, byteSize, error);
    }

private:
    ~ResponseBodyArray() override = default;

    template <class Body>
    bool Change(::Core::IErrorCode** error, Body body) {
        return ::Core::AbiGuard(error, [&] {
            if (response_) {
                const auto* bytes = static_cast<const uint8_t*>(response_->GetBody());
                own_.assign(bytes, bytes + response_->GetBodySize());
                response_.Reset();
            }
            body();
        });
    }

    ::Core::Ptr<Platform::Interfaces::IHttpResponse> response_;
    std::vector<uint8_t> own_;
};

}  // namespace Vesk::CoreServices::impl
