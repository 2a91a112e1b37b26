// Feeds arbitrary text to the URL parser and checks what must hold for every text it accepts.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "Core/Ptr.h"
#include "Platform/Url.h"

namespace {

void Check(bool condition, const char* what, const std::string& text) {
    if (!condition) {
        std::fprintf(stderr, "URL invariant broken: %s\ninput: [%s]\n", what, text.c_str());
        std::abort();
    }
}

bool SameParts(const Platform::Network::UrlParts& a, const Platform::Network::UrlParts& b) {
    return a.scheme == b.scheme && a.host == b.host && a.port == b.port && a.path == b.path && a.query == b.query &&
           a.fragment == b.fragment;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (text.find('\0') != std::string::npos) {
        return 0;  // the parser takes NUL-terminated text
    }
    Platform::Network::UrlParts parts;
    try {
        parts = Platform::Network::ParseUrlParts(text);
    } catch (const std::invalid_argument&) {
        return 0;
    } catch (const std::out_of_range&) {
        return 0;
    }
    Check(parts.path.find("//") == std::string::npos, "path keeps a run of slashes", text);
    Check(parts.path.empty() || parts.path[0] == '/', "path does not start with a slash", text);
    Check(parts.path.find_first_of("?#") == std::string::npos, "path holds a query or fragment", text);
    Check(parts.query.find('#') == std::string::npos, "query holds a fragment", text);
    // The authority ends at the first slash only, so a host may hold "?" or "#", never "/" or ":".
    Check(parts.host.find_first_of("/:") == std::string::npos, "host holds a separator", text);
    Check(parts.scheme.find("://") == std::string::npos, "scheme holds a separator", text);

    // The object reports the same parts and the same failures.
    Core::Ptr<Platform::Interfaces::IUrl> url = Core::MakeObject<Platform::Network::impl::UrlImpl>();
    Check(url->Parse(text.c_str(), nullptr), "object refuses what the parser accepts", text);
    Check(parts.path == url->GetPath() && parts.host == url->GetHost() && parts.port == url->GetPort(),
          "object differs from the parser", text);

    // Written back out, the parts parse to themselves.
    std::string rebuilt = parts.scheme + "://" + parts.host + ":" + std::to_string(parts.port) + parts.path;
    if (!parts.query.empty()) {
        rebuilt += "?" + parts.query;
    }
    if (!parts.fragment.empty()) {
        rebuilt += "#" + parts.fragment;
    }
    Check(SameParts(parts, Platform::Network::ParseUrlParts(rebuilt)), "rebuilt URL parses differently", text);
    return 0;
}
