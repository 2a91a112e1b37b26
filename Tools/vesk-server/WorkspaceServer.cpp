#include "WorkspaceServer.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <openssl/crypto.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <optional>
#include <thread>

#include "Hashing.h"
#include "httplib.h"

namespace VeskServer {
namespace {

using httplib::Request;
using httplib::Response;

// The storage service's fixed identity in listings.
constexpr const char* kStorageServiceUuid = "5f0c2a9e-3b71-4d8a-9c46-1e7b2d80a5f3";
constexpr const char* kStorageServiceDescription = "Workspace file storage";
constexpr const char* kAllowedStorageMethods = "OPTIONS, GET, HEAD, PUT, DELETE, MKCOL, PROPFIND";
constexpr std::size_t kChunk = 256 * 1024;
// A rejected body up to this size is read and dropped so that the client sees the answer; a larger
// one ends the connection instead.
constexpr std::uint64_t kMaxDrainBytes = 16u << 20;

// ---- text forms -------------------------------------------------------------------------------

std::string JsonString(const std::string& text) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    writer.String(text.data(), static_cast<rapidjson::SizeType>(text.size()));
    return std::string(buffer.GetString(), buffer.GetSize());
}

std::string XmlText(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

// Percent-encodes everything but the unreserved characters of RFC 3986.
std::string EncodeSegment(const std::string& segment) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : segment) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
            c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

std::optional<std::string> DecodeSegment(const std::string& raw) {
    std::string out;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '%') {
            out += raw[i];
            continue;
        }
        if (i + 2 >= raw.size()) {
            return std::nullopt;
        }
        const int high = HexDigitValue(raw[i + 1]);
        const int low = HexDigitValue(raw[i + 2]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

struct CivilTime {
    std::int64_t year;
    unsigned month, day;
    int hour, minute, second, weekday;  // weekday 0 is Sunday
};

// The UTC calendar time of seconds since 1970 (Howard Hinnant's days-to-civil algorithm).
CivilTime ToCivil(std::int64_t seconds) {
    std::int64_t days = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
    const std::int64_t secondOfDay = seconds - days * 86400;
    CivilTime civil{};
    civil.weekday = static_cast<int>(((days + 4) % 7 + 7) % 7);
    civil.hour = static_cast<int>(secondOfDay / 3600);
    civil.minute = static_cast<int>(secondOfDay / 60 % 60);
    civil.second = static_cast<int>(secondOfDay % 60);
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned mp = (5 * dayOfYear + 2) / 153;
    civil.day = dayOfYear - (153 * mp + 2) / 5 + 1;
    civil.month = mp < 10 ? mp + 3 : mp - 9;
    civil.year = static_cast<std::int64_t>(yearOfEra) + era * 400 + (civil.month <= 2 ? 1 : 0);
    return civil;
}

// IMF-fixdate ("Sun, 06 Nov 1994 08:49:37 GMT") of seconds since 1970 in UTC.
std::string HttpDate(std::int64_t seconds) {
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const CivilTime t = ToCivil(seconds);
    char text[80];
    std::snprintf(text, sizeof text, "%s, %02u %s %04lld %02d:%02d:%02d GMT", kDays[t.weekday], t.day,
                  kMonths[t.month - 1], static_cast<long long>(t.year), t.hour, t.minute, t.second);
    return text;
}

// ISO 8601 UTC with milliseconds, for the request log.
std::string LogTime() {
    const auto milliseconds =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    const CivilTime t = ToCivil(milliseconds / 1000);
    char text[80];
    std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<long long>(t.year), t.month,
                  t.day, t.hour, t.minute, t.second, static_cast<int>(milliseconds % 1000));
    return text;
}

// ---- routes -----------------------------------------------------------------------------------

struct Route {
    enum class Kind { Unknown, Health, Listing, Workspace, Storage, BadPath } kind = Kind::Unknown;
    std::string workspace;
    StorePath path;
    std::string problem;  // why a BadPath was refused
};

std::vector<std::string> SplitRaw(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t slash = text.find('/', start);
        parts.push_back(text.substr(start, slash - start));
        if (slash == std::string::npos) {
            return parts;
        }
        start = slash + 1;
    }
}

// Checks one decoded storage path segment; returns why it is refused, or an empty text.
std::string SegmentProblem(const std::string& segment) {
    if (segment.empty()) {
        return "Empty path segment";
    }
    if (segment == "." || segment == "..") {
        return "Relative path segment";
    }
    for (unsigned char c : segment) {
        if (c == '/' || c == '\\') {
            return "Separator inside a path segment";
        }
        if (c < 0x20 || c == 0x7f) {
            return "Control character in the path";
        }
    }
    if (segment.rfind(kReservedPrefix, 0) == 0) {
        return "Reserved name";
    }
    return {};
}

Route ParseRoute(const std::string& target, const std::string& prefix) {
    Route route;
    std::string path = target.substr(0, target.find('?'));
    if (path.compare(0, prefix.size(), prefix) != 0) {
        return route;
    }
    path.erase(0, prefix.size());
    if (path == "/healthcheck") {
        route.kind = Route::Kind::Health;
        return route;
    }
    if (path == "/ws" || path == "/ws/") {
        route.kind = Route::Kind::Listing;
        return route;
    }
    if (path.rfind("/ws/", 0) != 0) {
        return route;
    }
    std::vector<std::string> parts = SplitRaw(path.substr(4));
    const auto workspace = DecodeSegment(parts[0]);
    if (!workspace || !IsWorkspaceUuid(*workspace)) {
        return route;
    }
    route.workspace = *workspace;
    route.path.workspace = *workspace;
    if (parts.size() == 1 || (parts.size() == 2 && parts[1].empty())) {
        route.kind = Route::Kind::Workspace;
        return route;
    }
    if (parts.size() < 3 || parts[1] != "services" || parts[2] != "storage") {
        return route;
    }
    route.kind = Route::Kind::Storage;
    // A trailing slash names the same resource (folders are written with one).
    if (parts.size() > 3 && parts.back().empty()) {
        parts.pop_back();
    }
    for (std::size_t i = 3; i < parts.size(); ++i) {
        const auto segment = DecodeSegment(parts[i]);
        std::string problem = segment ? SegmentProblem(*segment) : "Malformed percent-encoding";
        if (!problem.empty()) {
            route.kind = Route::Kind::BadPath;
            route.problem = std::move(problem);
            return route;
        }
        route.path.segments.push_back(*segment);
    }
    return route;
}

// ---- answers ----------------------------------------------------------------------------------

// The reason of the statuses that the HTTP library answers by itself.
std::string StatusText(int status) {
    switch (status) {
        case 400:
            return "Bad request";
        case 404:
            return "Not found";
        case 408:
            return "Request timeout";
        case 413:
            return "The body is larger than the server accepts";
        case 414:
            return "The request target is too long";
        case 416:
            return "Range not satisfiable";
        default:
            return "HTTP status " + std::to_string(status);
    }
}

void SetError(const Request& req, Response& res, int status, const std::string& text) {
    res.status = status;
    res.body.clear();
    if (req.method != "HEAD") {
        res.set_content("{\"error\":" + JsonString(text) + "}", "application/json");
    }
}

void SetFileHeaders(Response& res, const StoreEntry& entry) {
    res.set_header("ETag", "\"" + ToHex(*entry.sha256) + "\"");
    res.set_header("Repr-Digest", "sha-256=:" + ToBase64(*entry.sha256) + ":");
    res.set_header("Last-Modified", HttpDate(entry.modifiedSeconds));
}

std::optional<std::uint64_t> ContentLength(const Request& req) {
    if (!req.has_header("Content-Length")) {
        return std::nullopt;
    }
    try {
        return std::stoull(req.get_header_value("Content-Length"));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::string Trimmed(std::string text) {
    const auto first = text.find_first_not_of(" \t");
    const auto last = text.find_last_not_of(" \t");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

}  // namespace

struct WorkspaceServer::Impl {
    std::shared_ptr<WorkspaceStore> store;
    ServerOptions options;
    std::unique_ptr<httplib::Server> http;
    std::thread thread;
    int port = 0;
    std::mutex logMutex;  // serialises lines given to options.log

    Impl(std::shared_ptr<WorkspaceStore> s, ServerOptions o) : store(std::move(s)), options(std::move(o)) {
        if (!options.tlsCertificate.empty() || !options.tlsKey.empty()) {
            auto secure = std::make_unique<httplib::SSLServer>(options.tlsCertificate.c_str(), options.tlsKey.c_str());
            if (!secure->is_valid()) {
                throw std::runtime_error("Cannot load the TLS certificate or key");
            }
            http = std::move(secure);
        } else {
            http = std::make_unique<httplib::Server>();
        }
        Configure();
    }

    void Configure() {
        const auto threads = static_cast<std::size_t>(options.threads > 0 ? options.threads : 1);
        http->new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
        http->set_read_timeout(options.timeoutSeconds, 0);
        http->set_write_timeout(options.timeoutSeconds, 0);
        http->set_keep_alive_timeout(options.keepAliveSeconds);
        http->set_keep_alive_max_count(static_cast<std::size_t>(options.keepAliveMaxRequests));
        http->set_payload_max_length(static_cast<std::size_t>(options.maxUploadBytes));

        http->set_pre_routing_handler([](const Request&, Response&) {
            RequestStart() = std::chrono::steady_clock::now();
            return httplib::Server::HandlerResponse::Unhandled;
        });
        http->set_error_handler(httplib::Server::HandlerWithResponse([](const Request& req, Response& res) {
            if (!res.body.empty() || req.method == "HEAD") {
                return httplib::Server::HandlerResponse::Unhandled;
            }
            SetError(req, res, res.status, StatusText(res.status));
            return httplib::Server::HandlerResponse::Handled;
        }));
        http->set_expect_100_continue_handler([this](const Request& req, Response& res) {
            const Route route = ParseRoute(req.target, options.prefix);
            if (!Authorised(req, route)) {
                SetError(req, res, 401, "Missing or wrong API key");
                return 401;
            }
            const auto length = ContentLength(req);
            if (length && *length > options.maxUploadBytes) {
                SetError(req, res, 413, "The body is larger than the server accepts");
                return 413;
            }
            return 100;
        });
        http->set_logger([this](const Request& req, const Response& res) { Log(req, res); });

        const std::string any = ".*";
        http->Get(any, [this](const Request& req, Response& res) { Handle(req, res, nullptr); });
        http->Put(any, [this](const Request& req, Response& res, const httplib::ContentReader& reader) {
            Handle(req, res, &reader);
        });
        http->Delete(any, [this](const Request& req, Response& res) { Handle(req, res, nullptr); });
        http->Options(any, [this](const Request& req, Response& res) { Handle(req, res, nullptr); });
        http->Post(any, [this](const Request& req, Response& res) { Handle(req, res, nullptr); });
        http->Patch(any, [this](const Request& req, Response& res) { Handle(req, res, nullptr); });
        http->WebDav(any, [this](const Request& req, Response& res) { Handle(req, res, nullptr); });
    }

    // Whether the handler running on this thread has read the request body (a reader reads once).
    static bool& BodyConsumed() {
        thread_local bool consumed = false;
        return consumed;
    }

    static std::chrono::steady_clock::time_point& RequestStart() {
        thread_local std::chrono::steady_clock::time_point start;
        return start;
    }

    void Log(const Request& req, const Response& res) {
        auto& start = RequestStart();
        const auto elapsed =
            start == std::chrono::steady_clock::time_point{}
                ? 0
                : std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
                      .count();
        start = {};
        std::uint64_t bytes = res.body.size();
        if (res.content_provider_ && req.method != "HEAD") {
            bytes = res.content_length_;
        }
        if (req.method == "HEAD") {
            bytes = 0;
        }
        // The path only: a query could carry anything, and the key travels in a header never logged.
        const std::string path = req.target.substr(0, req.target.find('?'));
        char tail[96];
        std::snprintf(tail, sizeof tail, " %d %llu %lldms", res.status, static_cast<unsigned long long>(bytes),
                      static_cast<long long>(elapsed));
        std::string line = LogTime() + " " + req.remote_addr + ":" + std::to_string(req.remote_port) + " " +
                           req.method + " " + path + tail;
        std::lock_guard lock(logMutex);
        if (options.log) {
            options.log(line);
        } else {
            std::cerr << line << '\n' << std::flush;
        }
    }

    bool Authorised(const Request& req, const Route& route) const {
        if (options.apiKey.empty()) {
            return true;
        }
        if (route.kind == Route::Kind::Health && (req.method == "GET" || req.method == "HEAD")) {
            return true;
        }
        const std::string given = req.get_header_value("x-api-key");
        // CRYPTO_memcmp takes the same time wherever the texts differ; only the length shows.
        return given.size() == options.apiKey.size() &&
               CRYPTO_memcmp(given.data(), options.apiKey.data(), given.size()) == 0;
    }

    // Reads and drops a body the answer does not need, or ends the connection when it is too big to
    // read, so that the next request on the connection starts where it should.
    void DiscardBody(const Request& req, Response& res, const httplib::ContentReader* reader) {
        if (!reader || BodyConsumed()) {
            return;
        }
        const auto length = ContentLength(req);
        if (length && *length <= kMaxDrainBytes) {
            const int status = res.status;
            (*reader)([](const char*, std::size_t) { return true; });
            res.status = status;
        } else if (length.value_or(1) > 0) {
            res.set_header("Connection", "close");
        }
    }

    void Handle(const Request& req, Response& res, const httplib::ContentReader* reader) {
        BodyConsumed() = false;
        const Route route = ParseRoute(req.target, options.prefix);
        try {
            if (!Authorised(req, route)) {
                SetError(req, res, 401, "Missing or wrong API key");
            } else if (req.method == "OPTIONS") {
                res.status = 200;
                res.set_header("DAV", "1");
                res.set_header("Allow",
                               route.kind == Route::Kind::Storage ? kAllowedStorageMethods : "OPTIONS, GET, HEAD");
            } else {
                switch (route.kind) {
                    case Route::Kind::Unknown:
                        SetError(req, res, 404, "Not found");
                        break;
                    case Route::Kind::BadPath:
                        SetError(req, res, 400, route.problem);
                        break;
                    case Route::Kind::Health:
                        if (ReadOnly(req, res)) {
                            res.set_content("{\"status\":\"ok\"}", "application/json");
                        }
                        break;
                    case Route::Kind::Listing:
                        if (ReadOnly(req, res)) {
                            Listing(res);
                        }
                        break;
                    case Route::Kind::Workspace:
                        if (ReadOnly(req, res)) {
                            OneWorkspace(req, res, route.workspace);
                        }
                        break;
                    case Route::Kind::Storage:
                        Storage(req, res, route.path, reader);
                        return;
                }
            }
        } catch (const StoreError& error) {
            SetError(req, res, StatusOf(error.Fault()), error.what());
        } catch (const std::exception& error) {
            SetError(req, res, 500, error.what());
        }
        if (res.status >= 400) {
            DiscardBody(req, res, reader);
        }
    }

    static int StatusOf(StoreFault fault) {
        switch (fault) {
            case StoreFault::NotFound:
                return 404;
            case StoreFault::IsFolder:
                return 405;
            case StoreFault::NotFolder:
                return 405;
            case StoreFault::Exists:
                return 405;
            case StoreFault::ParentMissing:
                return 409;
            case StoreFault::PreconditionFailed:
                return 412;
            case StoreFault::Forbidden:
                return 403;
        }
        return 500;
    }

    static bool ReadOnly(const Request& req, Response& res) {
        if (req.method == "GET" || req.method == "HEAD") {
            return true;
        }
        res.set_header("Allow", "OPTIONS, GET, HEAD");
        SetError(req, res, 405, "Method not allowed");
        return false;
    }

    std::string WorkspaceJson(const std::string& uuid, const WorkspaceLabel& label) const {
        return "{\"uuid\":" + JsonString(uuid) + ",\"name\":" + JsonString(label.name) +
               ",\"description\":" + JsonString(label.description) +
               ",\"services\":[{\"uuid\":" + JsonString(kStorageServiceUuid) +
               ",\"name\":\"storage\",\"description\":" + JsonString(kStorageServiceDescription) + "}]}";
    }

    void Listing(Response& res) {
        std::string body = "[";
        for (const auto& uuid : store->ListWorkspaces()) {
            // A workspace deleted since the listing is left out.
            if (const auto label = store->DescribeWorkspace(uuid)) {
                if (body.size() > 1) {
                    body += ",";
                }
                body += WorkspaceJson(uuid, *label);
            }
        }
        res.set_content(body + "]", "application/json");
    }

    void OneWorkspace(const Request& req, Response& res, const std::string& uuid) {
        const auto label = store->DescribeWorkspace(uuid);
        if (!label) {
            SetError(req, res, 404, "Unknown workspace");
            return;
        }
        res.set_content(WorkspaceJson(uuid, *label), "application/json");
    }

    void Storage(const Request& req, Response& res, const StorePath& path, const httplib::ContentReader* reader) {
        try {
            if (req.method == "GET" || req.method == "HEAD") {
                Get(res, path);
            } else if (req.method == "PUT") {
                Put(req, res, path, *reader);
            } else if (req.method == "DELETE") {
                store->Delete(path);
                res.status = 204;
            } else if (req.method == "MKCOL") {
                if (!req.body.empty() || ContentLength(req).value_or(0) > 0) {
                    SetError(req, res, 415, "MKCOL takes no body");
                } else {
                    store->MakeFolder(path);
                    res.status = 201;
                }
            } else if (req.method == "PROPFIND") {
                PropFind(req, res, path);
            } else {
                res.set_header("Allow", kAllowedStorageMethods);
                SetError(req, res, 405, "Method not allowed");
            }
        } catch (const StoreError& error) {
            if (error.Fault() == StoreFault::IsFolder || error.Fault() == StoreFault::Exists) {
                res.set_header("Allow", kAllowedStorageMethods);
            }
            SetError(req, res, StatusOf(error.Fault()), error.what());
        } catch (const std::exception& error) {
            SetError(req, res, 500, error.what());
        }
        if (res.status >= 400 && reader) {
            DiscardBody(req, res, reader);
        }
    }

    void Get(Response& res, const StorePath& path) {
        std::shared_ptr<StoreReader> file = store->Open(path);
        const StoreEntry& entry = file->Entry();
        SetFileHeaders(res, entry);
        // The status stays unset: the HTTP library answers 200, or 206 for a range.
        if (entry.size == 0) {
            res.set_header("Content-Type", "application/octet-stream");
            return;
        }
        // Streams from the open file, so a file replaced meanwhile is still served whole and as hashed.
        res.set_content_provider(static_cast<std::size_t>(entry.size), "application/octet-stream",
                                 [file](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                                     std::vector<char> buffer(std::min(length, kChunk));
                                     const std::size_t n = file->ReadAt(offset, buffer.data(), buffer.size());
                                     return n > 0 && sink.write(buffer.data(), n);
                                 });
    }

    // The precondition of a PUT; nullopt (after answering) when the headers are unusable.
    std::optional<Precondition> ReadPrecondition(const Request& req, Response& res) {
        Precondition precondition;
        if (req.has_header("If-Match")) {
            const std::string value = Trimmed(req.get_header_value("If-Match"));
            if (value == "*") {
                precondition.kind = Precondition::Kind::MustExist;
                return precondition;
            }
            precondition.kind = Precondition::Kind::MatchSha256;
            const auto sha = value.size() == 66 && value.front() == '"' && value.back() == '"'
                                 ? FromHex(std::string_view(value).substr(1, 64))
                                 : std::nullopt;
            if (!sha) {
                // No stored file has this tag, so the condition cannot hold.
                SetError(req, res, 412, "The If-Match tag matches no file");
                return std::nullopt;
            }
            precondition.expected = *sha;
        } else if (req.has_header("If-None-Match")) {
            if (Trimmed(req.get_header_value("If-None-Match")) != "*") {
                SetError(req, res, 400, "Only If-None-Match: * is supported on PUT");
                return std::nullopt;
            }
            precondition.kind = Precondition::Kind::MustNotExist;
        }
        return precondition;
    }

    void Put(const Request& req, Response& res, const StorePath& path, const httplib::ContentReader& reader) {
        if (path.IsRoot()) {
            res.set_header("Allow", kAllowedStorageMethods);
            SetError(req, res, 405, "The storage root is a folder");
            return;
        }
        const auto length = ContentLength(req);
        if (length && *length > options.maxUploadBytes) {
            SetError(req, res, 413, "The body is larger than the server accepts");
            return;
        }
        const auto precondition = ReadPrecondition(req, res);
        if (!precondition) {
            return;
        }
        std::optional<Sha256> expectedDigest;
        for (const char* header : {"Repr-Digest", "Content-Digest"}) {
            if (!expectedDigest && req.has_header(header)) {
                expectedDigest = ParseDigestHeader(req.get_header_value(header));
                if (!expectedDigest) {
                    SetError(req, res, 400, std::string("Unusable ") + header + " header");
                    return;
                }
            }
        }

        auto upload = store->BeginUpload(path);
        bool tooLarge = false;
        std::string failure;
        BodyConsumed() = true;
        const bool received = reader([&](const char* data, std::size_t size) {
            if (upload->Size() + size > options.maxUploadBytes) {
                tooLarge = true;
                return false;
            }
            try {
                upload->Append(data, size);
            } catch (const std::exception& error) {
                failure = error.what();
                return false;
            }
            return true;
        });
        if (!received) {
            // Whatever is left of the body is unread: this connection cannot carry another request.
            res.set_header("Connection", "close");
            if (tooLarge || res.status == 413) {
                SetError(req, res, 413, "The body is larger than the server accepts");
            } else if (!failure.empty()) {
                SetError(req, res, 500, failure);
            } else {
                SetError(req, res, 400, "The body was not received completely");
            }
            return;
        }
        const Sha256 digest = upload->Digest();
        if (expectedDigest && *expectedDigest != digest) {
            SetError(req, res, 400, "The body does not match its digest");
            return;
        }
        const CommitOutcome outcome = upload->Commit(*precondition);
        StoreEntry entry;
        entry.sha256 = digest;
        if (const auto stored = store->Stat(path)) {
            entry.modifiedSeconds = stored->modifiedSeconds;
        }
        SetFileHeaders(res, entry);
        res.status = outcome == CommitOutcome::Created ? 201 : 204;
    }

    std::string Href(const StorePath& path, bool folder) const {
        std::string href = options.prefix + "/ws/" + path.workspace + "/services/storage";
        for (const auto& segment : path.segments) {
            href += "/" + EncodeSegment(segment);
        }
        return folder || path.IsRoot() ? href + "/" : href;
    }

    std::string PropResponse(const StorePath& path, const StoreEntry& entry) const {
        std::string xml = "<D:response><D:href>" + XmlText(Href(path, entry.isFolder)) +
                          "</D:href><D:propstat><D:prop><D:displayname>" + XmlText(entry.name) + "</D:displayname>";
        if (entry.isFolder) {
            xml += "<D:resourcetype><D:collection/></D:resourcetype>";
        } else {
            xml += "<D:resourcetype/><D:getcontentlength>" + std::to_string(entry.size) +
                   "</D:getcontentlength><D:getlastmodified>" + HttpDate(entry.modifiedSeconds) +
                   "</D:getlastmodified>";
            if (entry.sha256) {
                xml += "<D:getetag>\"" + ToHex(*entry.sha256) + "\"</D:getetag>";
            }
        }
        return xml + "</D:prop><D:status>HTTP/1.1 200 OK</D:status></D:propstat></D:response>";
    }

    void PropFind(const Request& req, Response& res, const StorePath& path) {
        const std::string depth = Trimmed(req.get_header_value("Depth"));
        if (depth != "0" && depth != "1") {
            SetError(req, res, 403, "PROPFIND needs Depth 0 or 1");
            return;
        }
        const auto self = store->Stat(path);
        if (!self) {
            SetError(req, res, 404, "Not found");
            return;
        }
        std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<D:multistatus xmlns:D=\"DAV:\">";
        xml += PropResponse(path, *self);
        if (self->isFolder && depth == "1") {
            for (const auto& member : store->List(path)) {
                StorePath memberPath = path;
                memberPath.segments.push_back(member.name);
                if (member.isFolder) {
                    xml += PropResponse(memberPath, member);
                } else if (const auto stat = store->Stat(memberPath)) {
                    // Stat gives the hash; a member deleted since the listing is left out.
                    xml += PropResponse(memberPath, *stat);
                }
            }
        }
        res.status = 207;
        res.set_content(xml + "</D:multistatus>\n", "application/xml; charset=utf-8");
    }
};

WorkspaceServer::WorkspaceServer(std::shared_ptr<WorkspaceStore> store, ServerOptions options)
    : impl_(std::make_unique<Impl>(std::move(store), std::move(options))) {}

WorkspaceServer::~WorkspaceServer() {
    Stop();
}

int WorkspaceServer::Start() {
    auto& http = *impl_->http;
    const auto& options = impl_->options;
    if (options.port == 0) {
        impl_->port = http.bind_to_any_port(options.bind);
    } else {
        impl_->port = http.bind_to_port(options.bind.c_str(), options.port) ? options.port : -1;
    }
    if (impl_->port <= 0) {
        throw std::runtime_error("Cannot listen on " + options.bind + ":" + std::to_string(options.port));
    }
    impl_->thread = std::thread([&http] { http.listen_after_bind(); });
    return impl_->port;
}

void WorkspaceServer::Stop() {
    if (impl_->thread.joinable()) {
        impl_->http->stop();
        impl_->thread.join();
    }
}

int WorkspaceServer::Port() const {
    return impl_->port;
}

}  // namespace VeskServer
