#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "Core/Object.h"
#include "Core/Ptr.h"
#include "Platform/IUrl.h"

namespace Platform::Network {

// The parts of a URL text.
struct UrlParts {
    std::string scheme;
    std::string host;
    uint16_t port = 0;
    std::string path;
    std::string query;
    std::string fragment;
};

// The port a scheme uses when the URL names none: 80, 443, 21, 22 for http, https, ftp, sftp and
// ssh (exact letter case), 0 for any other.
uint16_t DefaultPort(std::string_view scheme);

// Splits a URL; text without "://" is a file-system path and becomes "file:///" with its
// backslashes turned into slashes. Throws on a port that is not a number or out of range.
UrlParts ParseUrlParts(std::string_view url);

namespace impl {

// Not synchronised, as IUrl says: Parse only while nobody else uses the object.
class UrlImpl final : public Core::ObjectT<Interfaces::IUrl> {
public:
    UrlImpl() = default;

    bool IsDefaultPort() override;
    const char* GetScheme() override { return parts_.scheme.c_str(); }
    const char* GetHost() override { return parts_.host.c_str(); }
    uint16_t GetPort() override { return parts_.port; }
    const char* GetPath() override { return parts_.path.c_str(); }
    const char* GetQuery() override { return parts_.query.c_str(); }
    const char* GetFragment() override { return parts_.fragment.c_str(); }
    bool Parse(const char* url, Core::IErrorCode** error) override;

private:
    ~UrlImpl() override = default;
    UrlParts parts_;  // written by Parse only, which callers keep apart from every other call
};

}  // namespace impl

// A parsed URL object; throws what Parse reports.
Core::Ptr<Interfaces::IUrl> ParseUrl(const std::string& url);

}  // namespace Platform::Network

// The error-code form: an empty URL object, to be filled with Parse.
bool Platform_CreateUrl(Platform::Interfaces::IUrl** url, Core::IErrorCode** error);
