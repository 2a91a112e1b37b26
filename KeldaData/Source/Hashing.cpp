#include "Hashing.h"

#include <stdexcept>

#include "Common.h"
#include "Core/Guard.h"

namespace Data::impl {

Sha256HashingImpl::Sha256HashingImpl() {
    Start();
}

Sha256HashingImpl::~Sha256HashingImpl() = default;

void Sha256HashingImpl::Start() {
    digestState_.Restart();
    finished_ = false;
    digest_.fill(0);
    digestText_.clear();
}

bool Sha256HashingImpl::Update(const void* data, uint64_t size, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        if (finished_) {
            throw std::runtime_error("The digest is already finished; reset the hashing object to hash again");
        }
        if (size == 0) {
            return;
        }
        Core::CheckNotNull(data);
        digestState_.Update(data, size);
    });
}

bool Sha256HashingImpl::Finish(Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        if (finished_) {
            throw std::runtime_error("The digest is already finished");
        }
        digest_ = digestState_.Finish();
        digestText_ = ToHex(digest_.data(), digest_.size());
        finished_ = true;
    });
}

bool Sha256HashingImpl::Reset(Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] { Start(); });
}

}  // namespace Data::impl
