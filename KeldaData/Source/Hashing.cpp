#include "Hashing.h"

#include <stdexcept>

#include "Common.h"
#include "Core/Guard.h"

namespace Data::impl {

Sha256HashingImpl::Sha256HashingImpl() : context_(EVP_MD_CTX_new()) {
    if (context_ == nullptr) {
        throw std::runtime_error("Could not create a SHA-256 context");
    }
    try {
        Start();
    } catch (...) {
        EVP_MD_CTX_free(context_);
        throw;
    }
}

Sha256HashingImpl::~Sha256HashingImpl() {
    EVP_MD_CTX_free(context_);
}

void Sha256HashingImpl::Start() {
    if (EVP_DigestInit_ex(context_, EVP_sha256(), nullptr) != 1) {
        throw std::runtime_error("Could not start a SHA-256 digest");
    }
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
        if (EVP_DigestUpdate(context_, data, size) != 1) {
            throw std::runtime_error("SHA-256 update failed");
        }
    });
}

bool Sha256HashingImpl::Finish(Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        if (finished_) {
            throw std::runtime_error("The digest is already finished");
        }
        unsigned int size = 0;
        if (EVP_DigestFinal_ex(context_, digest_.data(), &size) != 1 || size != digest_.size()) {
            throw std::runtime_error("SHA-256 finish failed");
        }
        digestText_ = ToHex(digest_.data(), digest_.size());
        finished_ = true;
    });
}

bool Sha256HashingImpl::Reset(Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] { Start(); });
}

}  // namespace Data::impl
