#include "Platform/CredentialStore.h"

#include "Win32.h"
// The credential functions need the definitions of windows.h first.
#include <wincred.h>

#include <cstring>
#include <memory>
#include <vector>

#include "Platform/RichError.h"
#include "WideText.h"

namespace Platform::Credentials {
namespace {

constexpr DWORD kCredentialFlags = 2;

struct CredFreer {
    void operator()(void* buffer) const noexcept { CredFree(buffer); }
};
using CredentialRecord = std::unique_ptr<CREDENTIALW, CredFreer>;
using CredentialList = std::unique_ptr<PCREDENTIALW, CredFreer>;

// The enumeration filter takes wildcards, so a match is confirmed by comparing the whole name.
bool ExistsWide(const std::wstring& target) {
    DWORD count = 0;
    PCREDENTIALW* raw = nullptr;
    if (!CredEnumerateW(target.c_str(), 0, &count, &raw)) {
        return false;
    }
    const CredentialList list(raw);
    for (DWORD i = 0; i < count; ++i) {
        const wchar_t* name = list.get()[i]->TargetName;
        if (name != nullptr && std::wcslen(name) == target.size() &&
            std::wmemcmp(name, target.c_str(), target.size()) == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

void Write(const std::string& target, const std::string& userName, std::string_view secret) {
    std::wstring wideTarget = Windows::Text::Widen(target);
    std::wstring wideUser = Windows::Text::Widen(userName);
    std::vector<BYTE> blob(secret.begin(), secret.end());
    CREDENTIALW record{};
    record.Flags = kCredentialFlags;
    record.Type = CRED_TYPE_GENERIC;
    record.TargetName = wideTarget.data();
    record.CredentialBlobSize = static_cast<DWORD>(blob.size());
    record.CredentialBlob = blob.empty() ? nullptr : blob.data();
    record.Persist = CRED_PERSIST_LOCAL_MACHINE;
    record.UserName = wideUser.data();
    const BOOL written = CredWriteW(&record, 0);
    const DWORD code = GetLastError();
    // The secret's copy is wiped before anything else can see the memory again.
    SecureZeroMemory(blob.data(), blob.size());
    if (!written) {
        RichError::ThrowWin32(code, "Failed to write credential " + target);
    }
}

bool Exists(const std::string& target) {
    return ExistsWide(Windows::Text::Widen(target));
}

std::optional<std::string> Read(const std::string& target) {
    const std::wstring wideTarget = Windows::Text::Widen(target);
    if (!ExistsWide(wideTarget)) {
        return std::nullopt;
    }
    PCREDENTIALW raw = nullptr;
    if (!CredReadW(wideTarget.c_str(), CRED_TYPE_GENERIC, 0, &raw)) {
        RichError::ThrowWin32(GetLastError(), "Failed to read credential " + target);
    }
    const CredentialRecord record(raw);
    return std::string(reinterpret_cast<const char*>(record->CredentialBlob), record->CredentialBlobSize);
}

void Delete(const std::string& target) {
    const std::wstring wideTarget = Windows::Text::Widen(target);
    if (!ExistsWide(wideTarget)) {
        return;
    }
    if (!CredDeleteW(wideTarget.c_str(), CRED_TYPE_GENERIC, 0)) {
        RichError::ThrowWin32(GetLastError(), "Failed to delete credential " + target);
    }
}

}  // namespace Platform::Credentials
