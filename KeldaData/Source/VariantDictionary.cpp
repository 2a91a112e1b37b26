#include "VariantDictionary.h"

#include <stdexcept>

#include "Core/Guard.h"

namespace Data::impl {

bool VariantDictionaryImpl::Set(const char* name, const Structures::_VARIANT* value, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(name);
        Core::CheckNotNull(value);
        CheckDefined(*value);
        const auto found = byName_.find(std::string_view(name));
        if (found != byName_.end()) {
            entries_[found->second].second.Assign(*value);
            return;
        }
        entries_.emplace_back(name, Value(*value));
        try {
            byName_.emplace(name, entries_.size() - 1);
        } catch (...) {
            entries_.pop_back();
            throw;
        }
    });
}

bool VariantDictionaryImpl::Get(const char* name, Structures::_VARIANT* value, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(name);
        Core::CheckNotNull(value);
        const auto found = byName_.find(std::string_view(name));
        if (found == byName_.end()) {
            throw std::runtime_error("Key " + std::string(name) + " not found");
        }
        entries_[found->second].second.CopyTo(value);
    });
}

bool VariantDictionaryImpl::Contains(const char* name) {
    return name != nullptr && byName_.find(std::string_view(name)) != byName_.end();
}

bool VariantDictionaryImpl::Remove(const char* name) {
    if (name == nullptr) {
        return false;
    }
    const auto found = byName_.find(std::string_view(name));
    if (found == byName_.end()) {
        return false;
    }
    const size_t position = found->second;
    byName_.erase(found);
    entries_.erase(entries_.begin() + static_cast<ptrdiff_t>(position));
    for (auto& entry : byName_) {
        if (entry.second > position) {
            --entry.second;
        }
    }
    return true;
}

const char* VariantDictionaryImpl::GetKey(uint64_t index) {
    return index < entries_.size() ? entries_[index].first.c_str() : nullptr;
}

}  // namespace Data::impl
