#include "Platform/Url.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <stdexcept>

#include "Core/Guard.h"

namespace Platform::Network {
namespace {

// The integer conversion the suite's parser uses, with the messages its standard library gives:
// leading blanks and a sign are accepted, conversion stops at the first non-digit.
int Stoi(const std::string& text) {
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(begin, &end, 10);
    if (end == begin) {
        throw std::invalid_argument("invalid stoi argument");
    }
    if (errno == ERANGE || value < INT_MIN || value > INT_MAX) {
        throw std::out_of_range("stoi argument out of range");
    }
    return static_cast<int>(value);
}

void FoldSlashes(std::string& path) {
    std::string folded;
    folded.reserve(path.size());
    for (char c : path) {
        if (c == '/' && !folded.empty() && folded.back() == '/') {
            continue;
        }
        folded.push_back(c);
    }
    path.swap(folded);
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

}  // namespace

uint16_t DefaultPort(std::string_view scheme) {
    if (scheme == "http") {
        return 80;
    }
    if (scheme == "https") {
        return 443;
    }
    if (scheme == "ftp") {
        return 21;
    }
    if (scheme == "sftp" || scheme == "ssh") {
        return 22;
    }
    return 0;
}

UrlParts ParseUrlParts(std::string_view url) {
    std::string text(url);
    if (text.find("://") == std::string::npos) {
        // A file-system path. The long-path prefix only says "no length limit": it is not part of
        // the file's name, and its "?" would otherwise start a query.
        if (StartsWith(text, "\\\\?\\") || StartsWith(text, "//?/")) {
            text.erase(0, 4);
        }
        for (char& c : text) {
            if (c == '\\') {
                c = '/';
            }
        }
        text = "file:///" + text;
    }

    UrlParts parts;
    const size_t schemeEnd = text.find("://");
    parts.scheme = text.substr(0, schemeEnd);
    std::string rest = text.substr(schemeEnd + 3);

    // "file:///?/C:/..." carries the long-path marker after the empty authority.
    const size_t slashes = rest.find_first_not_of('/');
    if (slashes != std::string::npos && slashes > 0 && rest.compare(slashes, 2, "?/") == 0) {
        rest.erase(slashes, 2);
    }

    // The authority runs to the first "/" only, so that an address reads the same here as in the
    // suite's other components: a "?" or "#" before any "/" stays in the host (after a port it ends
    // the digits and is dropped).
    const size_t authorityEnd = std::min(rest.find('/'), rest.size());
    const std::string authority = rest.substr(0, authorityEnd);
    const size_t colon = authority.find(':');
    parts.host = authority.empty() ? "localhost" : authority.substr(0, colon);
    parts.port = colon != std::string::npos ? static_cast<uint16_t>(Stoi(authority.substr(colon + 1)))
                                            : DefaultPort(parts.scheme);

    const std::string tail = rest.substr(authorityEnd);
    const size_t hash = tail.find('#');
    const std::string beforeHash = tail.substr(0, hash);
    if (hash != std::string::npos) {
        parts.fragment = tail.substr(hash + 1);
    }
    const size_t question = beforeHash.find('?');
    parts.path = beforeHash.substr(0, question);
    if (question != std::string::npos) {
        parts.query = beforeHash.substr(question + 1);
    }
    FoldSlashes(parts.path);
    return parts;
}

namespace impl {

bool UrlImpl::IsDefaultPort() {
    return parts_.port == 0 || parts_.port == DefaultPort(parts_.scheme);
}

bool UrlImpl::Parse(const char* url, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(url);
        parts_ = ParseUrlParts(url);
    });
}

}  // namespace impl

Core::Ptr<Interfaces::IUrl> ParseUrl(const std::string& url) {
    Core::Ptr<Interfaces::IUrl> result = Core::MakeObject<impl::UrlImpl>();
    Core::ThrowIfFailed([&](Core::IErrorCode** error) { return result->Parse(url.c_str(), error); }, "Invalid URL");
    return result;
}

}  // namespace Platform::Network

bool Platform_CreateUrl(Platform::Interfaces::IUrl** url, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(url);
        Core::HandOut(Core::MakeObject<Platform::Network::impl::UrlImpl>(), url);
    });
}
